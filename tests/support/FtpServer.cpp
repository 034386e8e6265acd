#include "tests/support/FtpServer.h"

#include <csignal>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

FtpServer::FtpServer(Options options)
    : options_(options)
    , user_(options.program == Program::Vsftpd ? "anonymous"
            : options.program == Program::Sshd ? getpwuid(geteuid())->pw_name
                                               : "webcam")
    , password_(options.program == Program::Vsftpd ? "webcam@example.org"
                : options.program == Program::Sshd ? ""
                                                   : "s3cret pass") {
    launch();
}

void FtpServer::stop() {
    if (output_ != nullptr) {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
        }
        pclose(output_);
        output_ = nullptr;
        pid_ = 0;
    }
}

void FtpServer::restart() {
    stop();
    launch();
}

void FtpServer::freeze() const {
    kill(pid_, SIGUSR1);
}

void FtpServer::launch() {
    const int program = options_.mode == Mode::Silent ? 4 : static_cast<int>(options_.program);
    std::ostringstream command;
    command << "exec /usr/bin/python3 " KAVRI_FTP_SERVER_SCRIPT " " << dir_.path()
            << " port=" << port_ << " 'user=" << user_ << "' 'password=" << password_
            << "' program=" << program
            << " tls=" << (options_.program == Program::S3 ? 2 : static_cast<int>(options_.tls))
            << " certificate=" << static_cast<int>(options_.certificate)
            << " ca=" << std::filesystem::path(caFile()).parent_path()
            << " throttle=" << options_.uploadBytesPerS << " idle=" << options_.idleTimeoutS
            << " rename=" << !options_.refuseRenames << " region=" << options_.region
            << " skew=" << options_.clockSkewS;
    output_ = popen(command.str().c_str(), "re");
    char line[64] = "";
    if (output_ == nullptr || std::fgets(line, sizeof line, output_) == nullptr ||
        std::sscanf(line, "PORT %hu %d", &port_, &pid_) != 2) {
        stop();
        throw std::runtime_error("the test server did not start (see its standard error)");
    }
}

std::string FtpServer::scheme() const {
    const Program program = options_.program;
    const bool plain = options_.tls == Tls::None;
    return program == Program::Sshd || program == Program::Paramiko ? "sftp://"
           : program == Program::S3                                 ? "s3://"
           : program == Program::Apache                             ? (plain ? "dav://" : "davs://")
           : options_.tls == Tls::Explicit                          ? "ftpes://"
           : options_.tls == Tls::Implicit                          ? "ftps://"
                                                                    : "";
}

std::string FtpServer::hostField(const std::string& host) const {
    const bool based = options_.program == Program::S3 || options_.program == Program::Apache;
    return scheme() + host + (based ? "/cam" : "");
}

std::string FtpServer::caFile() {
    static const TempDir certificates;
    return certificates.file("ca.pem");
}

std::vector<std::string> FtpServer::events(const std::string& prefix) const {
    std::ifstream log(dir_.path() / "log");
    std::vector<std::string> events;
    for (std::string line; std::getline(log, line);) {
        if (line.rfind(prefix, 0) == 0) {
            events.push_back(line);
        }
    }
    return events;
}
