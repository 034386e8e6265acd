#pragma once

#include "base/HealthLine.h"
#include "ftp/InstantUpload.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class FTPThread;
class ThreadControl;

// The uploads of the grabbed JPEG files, with the FTP settings of the moment each begins: the
// upload thread of a running grabber, and the upload of an instant grab made while idle, on a
// worker of its own so that a slow server never holds the window. A grab while that upload
// is still going asks for one more upload after it, of the newest file. Both tell how uploads
// fare on one health line. While the FTP settings name the placeholder host, nothing is
// uploaded and no server is contacted. Used on the user interface thread only.
class Uploads {
public:
    // instantEnded runs on the instant upload's worker when the upload has ended; it only
    // hands the news to the user interface thread, which then calls onInstantEnded.
    // healthSink, when given, is told each line of the upload's health instead of standard
    // error alone.
    Uploads(std::function<void()> instantEnded, HealthLine::Sink healthSink = {});
    ~Uploads();
    Uploads(const Uploads&) = delete;
    Uploads& operator=(const Uploads&) = delete;

    // Run: an instant upload still going ends here, so that two connections never store the
    // same file at once. With FTP on, the upload thread is made and started. Throws Exception
    // when it cannot be made.
    void startThread();
    // Stop: ends the upload thread.
    void stopThread();
    // Hands a grabbed file to the upload thread, if there is one. Returns the message of the
    // failure that stopped the thread, when it has stopped.
    std::optional<std::string> post(const std::string& jpegFile);
    // Hands a file for the archive on the server to the upload thread; while there is none,
    // it goes with the next instant upload, or to the thread of the next Run.
    void postArchive(const std::string& localFile, const std::string& remoteFile);

    // False while the FTP settings name the placeholder host.
    static bool serverSetUp();

    // Whether an instant upload is going.
    bool instantGoing() const { return instantUpload_ != nullptr; }
    // The file of an instant grab made while idle: with FTP on, it goes up now, or once the
    // upload going has ended. False when FTP is off and nothing is uploaded.
    bool uploadInstantly(const std::string& jpegFile);
    // The instant upload has ended: the next one when asked for, else how it went. Nothing
    // when an upload goes on, and for the news of an upload that Run or Exit ended.
    std::optional<InstantUpload::Result> onInstantEnded();

    // The end of the program: cancels both uploads. waitEnded then waits, at most half a
    // second in all, for their workers to leave the network library, so that none is still
    // inside it while the process ends. Cancelled, they take a few tens of milliseconds.
    void cancel();
    void waitEnded();

private:
    void startInstant(const std::string& jpegFile);

    std::function<void()> instantEnded_;
    std::shared_ptr<HealthLine> health_;
    std::unique_ptr<FTPThread> ftpThread_;
    // The upload of an instant grab while idle, from its start until its end is handled.
    std::unique_ptr<InstantUpload> instantUpload_;
    // The newest file grabbed while the instant upload was going.
    std::optional<std::string> onceMore_;
    // The archive's pictures grabbed while idle, the last FTPThread::maxArchiveWaiting.
    std::vector<InstantUpload::ArchiveFile> heldArchive_;
    std::vector<std::shared_ptr<ThreadControl>> cancelled_;
};
