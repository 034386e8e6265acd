#pragma once

#include <arpa/inet.h>
#include <atomic>
#include <mutex>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

// A viewer of /stream on a socket of its own. How it reads is up to the test: at once, a
// byte a second, or not at all. It keeps the last few megabytes it received.
class StreamReader {
public:
    enum class Pace { full, byteASecond, stalled };

    StreamReader(unsigned port, Pace pace)
        : socket_(::socket(AF_INET, SOCK_STREAM, 0)) {
        if (pace == Pace::stalled) {
            const int small = 4096;
            setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        // HTTP/1.0: the stream comes without chunks, as it is.
        const std::string request = "GET /stream HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
        (void)!write(socket_, request.data(), request.size());
        if (pace != Pace::stalled) {
            thread_ = std::thread([this, pace] { read(pace == Pace::full ? 65536 : 1); });
        }
    }
    ~StreamReader() {
        // Reading may go on in what the socket holds already.
        ending_ = true;
        shutdown(socket_, SHUT_RDWR);
        if (thread_.joinable()) {
            thread_.join();
        }
        close(socket_);
    }

    // The highest frame number ("frame N") seen so far.
    int newestFrame() const { return newest_.load(); }
    std::string received() const {
        std::lock_guard lock(mutex_);
        return data_;
    }

private:
    void read(std::size_t chunk) {
        std::string buffer(chunk, '\0');
        for (ssize_t got; !ending_ && (got = ::read(socket_, buffer.data(), chunk)) > 0;) {
            std::lock_guard lock(mutex_);
            data_.append(buffer, 0, static_cast<std::size_t>(got));
            for (std::size_t at; (at = data_.find("frame ", scanned_)) != std::string::npos &&
                                 data_.find('\xFF', at) != std::string::npos;) {
                newest_ = std::max(newest_.load(), std::atoi(data_.c_str() + at + 6));
                scanned_ = at + 6;
            }
            if (data_.size() > keptBytes * 2) {
                data_.erase(0, data_.size() - keptBytes);
                scanned_ = 0;
            }
            if (chunk == 1) {
                std::this_thread::sleep_for(std::chrono::seconds(1));
            }
        }
    }

    static constexpr std::size_t keptBytes = 1 << 20;

    int socket_;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::string data_;
    std::size_t scanned_ = 0;
    std::atomic<int> newest_{0};
    std::atomic<bool> ending_{false};
};
