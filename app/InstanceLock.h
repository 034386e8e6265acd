#pragma once

#include "base/FileDescriptor.h"

#include <functional>
#include <thread>

// One program per working directory. The first start in a directory holds a local socket
// named after the user and the directory's device and inode, in the abstract namespace, so
// that it touches no file and goes with the process however it ends; a later start in the
// same directory finds the name taken and asks the holder to show its window. Starts in other
// directories, or by other users, are independent.
class InstanceLock {
public:
    // Takes the name of the current directory, if free. Throws Exception when the directory
    // or the socket cannot be had.
    InstanceLock();
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Whether this program holds the name.
    bool held() const { return listening_.isOpen(); }
    // Asks the holder, if it is this user's, to show its window; false when none answered.
    bool askHolderToShow() const;
    // From now until destruction, calls shown on a thread of its own at each request.
    void listen(std::function<void()> shown);
    // Ends the calls of listen; the name stays held.
    void stopListening();

private:
    void serve(const std::function<void()>& shown);

    FileDescriptor listening_;
    // Written to end the thread.
    FileDescriptor stopWrite_;
    FileDescriptor stopRead_;
    std::thread thread_;
};
