#include "app/TerminationSignals.h"

#include <array>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::array endingSignals = {SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t signalPipeWrite = -1;

void onEndingSignal(int) {
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipeWrite, &byte, 1);
    errno = savedErrno;
}

void setAction(int signalNumber, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signalNumber, &action, nullptr);
}

} // namespace

TerminationSignals::TerminationSignals() {
    setAction(SIGPIPE, SIG_IGN);
    int ends[2];
    if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) {
        return;
    }
    readEnd = FileDescriptor(ends[0]);
    writeEnd = FileDescriptor(ends[1]);
    signalPipeWrite = ends[1];
    for (const int signalNumber : endingSignals) {
        setAction(signalNumber, onEndingSignal);
    }
}

TerminationSignals::~TerminationSignals() {
    if (!isWatching()) {
        return;
    }
    for (const int signalNumber : endingSignals) {
        setAction(signalNumber, SIG_IGN);
    }
    signalPipeWrite = -1;
}

void TerminationSignals::drain() {
    std::array<char, 64> bytes{};
    while (::read(readEnd.get(), bytes.data(), bytes.size()) > 0) {
    }
}
