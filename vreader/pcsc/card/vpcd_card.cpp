#include "pcsc/card/vpcd_card.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace vpcd {

namespace {

using namespace std::chrono_literals;

constexpr int kPollMs = 50;

bool ReadFully(int socket, std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        // vpcd writes a frame's length and its payload separately: an ACK held
        // back here would hold the payload for the delayed-ACK time (40 ms).
        const int on = 1;
        ::setsockopt(socket, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
        const ssize_t got = ::recv(socket, data, size, 0);
        if (got <= 0) {
            return false;
        }
        data += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

bool Send(int socket, const Bytes& payload) {
    Bytes frame{static_cast<std::uint8_t>(payload.size() >> 8),
                static_cast<std::uint8_t>(payload.size() & 0xFF)};
    frame.insert(frame.end(), payload.begin(), payload.end());
    return ::send(socket, frame.data(), frame.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(frame.size());
}

int ConnectTo(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        return -1;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

VpcdCard::VpcdCard(std::uint16_t port) : port_(port), server_([this] { Serve(); }) {}

VpcdCard::~VpcdCard() {
    {
        std::lock_guard<std::mutex> hold(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    server_.join();
}

void VpcdCard::Place(const Bytes& image) {
    std::lock_guard<std::mutex> hold(mutex_);
    card_.emplace(image);
    placed_ = true;
    takeAwayAtWrites_.reset();
    beforeAnswer_.reset();
    leaveAtCommand_.reset();
    commandCount_ = 0;
    changed_.notify_all();
}

void VpcdCard::TakeAway() {
    std::unique_lock<std::mutex> hold(mutex_);
    placed_ = false;
    changed_.notify_all();
    changed_.wait(hold, [this] { return !connected_; });
}

void VpcdCard::TakeAwayAfterWrites(int writes) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (card_) {
        takeAwayAtWrites_ = card_->Writes() + writes;
    }
}

void VpcdCard::LeaveAtCommand(int commands) {
    std::lock_guard<std::mutex> hold(mutex_);
    leaveAtCommand_ = commandCount_ + commands;
}

void VpcdCard::WaitUntilGone() {
    std::unique_lock<std::mutex> hold(mutex_);
    changed_.wait(hold, [this] { return !placed_ && !connected_; });
}

int VpcdCard::CommandCount() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return commandCount_;
}

void VpcdCard::BeforeAnswerToWrite(int writes, std::function<void()> action) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (card_) {
        beforeAnswer_.emplace(card_->Writes() + writes, std::move(action));
    }
}

Bytes VpcdCard::Image() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return card_ ? card_->Image() : Bytes{};
}

std::map<std::uint8_t, int> VpcdCard::Commands() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return card_ ? card_->Commands() : std::map<std::uint8_t, int>{};
}

bool VpcdCard::InField() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return placed_;
}

bool VpcdCard::ShouldServe() const {
    return placed_ && !stopping_;
}

bool VpcdCard::Answer(int socket, const Bytes& message) {
    std::unique_lock<std::mutex> hold(mutex_);
    if (message.size() == 1) {
        switch (message[0]) {
            case 0:  // power off
            case 1:  // power on
            case 2:  // reset
                card_->Reset();
                return true;
            case 4:
                return Send(socket, card_->Atr());
            default:
                return true;
        }
    }
    const Bytes response = card_->Respond(message);
    ++commandCount_;
    if (leaveAtCommand_ && commandCount_ >= *leaveAtCommand_) {
        leaveAtCommand_.reset();
        placed_ = false;
        return false;  // carried out, never answered
    }
    if (beforeAnswer_ && card_->Writes() >= beforeAnswer_->first) {
        auto action = std::move(beforeAnswer_->second);
        beforeAnswer_.reset();
        hold.unlock();
        action();
        hold.lock();
    }
    const bool sent = Send(socket, response);
    if (takeAwayAtWrites_ && card_->Writes() >= *takeAwayAtWrites_) {
        takeAwayAtWrites_.reset();
        placed_ = false;
        return false;
    }
    return sent;
}

void VpcdCard::Serve() {
    std::unique_lock<std::mutex> hold(mutex_);
    for (;;) {
        changed_.wait(hold, [this] { return stopping_ || placed_; });
        if (stopping_) {
            return;
        }
        hold.unlock();
        const int socket = ConnectTo(port_);
        hold.lock();
        if (socket < 0) {
            // No driver listening yet: try again shortly, unless told otherwise.
            changed_.wait_for(hold, 100ms, [this] { return stopping_ || !placed_; });
            continue;
        }
        connected_ = true;
        while (ShouldServe()) {
            hold.unlock();
            pollfd watch{socket, POLLIN, 0};
            const int ready = ::poll(&watch, 1, kPollMs);
            bool keep = ready >= 0;
            if (ready > 0) {
                std::uint8_t length[2];
                Bytes message;
                keep = ReadFully(socket, length, 2);
                if (keep) {
                    message.resize(static_cast<std::size_t>(length[0] << 8 | length[1]));
                    keep = ReadFully(socket, message.data(), message.size()) &&
                           Answer(socket, message);
                }
            }
            hold.lock();
            if (!keep) {
                break;
            }
        }
        ::close(socket);
        connected_ = false;
        changed_.notify_all();
    }
}

}  // namespace vpcd
