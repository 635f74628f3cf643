#include "m4systems/terminal/recorder.h"

#include <strings.h>
#include <algorithm>
#include <cstring>

#include "m4systems/log.h"
#include "m4systems/messages.h"

namespace koru::m4 {

namespace {

constexpr const char* kSource = "recorder";
constexpr size_t kTsPacket = 188;
constexpr uint8_t kTsSync = 0x47;
constexpr size_t kFileBufferBytes = 256 * 1024;
// A PCR may move against the arrival clock by this much before it counts as a jump.
constexpr int64_t kJumpToleranceMs = 1000;
constexpr int64_t kPcrWrap = int64_t{1} << 33;

bool EndsWith(const std::string& path, const char* extension) {
    const size_t length = std::strlen(extension);
    return path.size() >= length && strcasecmp(path.c_str() + path.size() - length, extension) == 0;
}

// The 33-bit PCR base (90 kHz) of a transport packet, or -1 when it carries none.
int64_t PacketPcr(const uint8_t* p) {
    const bool has_adaptation = (p[3] & 0x20) != 0;
    if (!has_adaptation || p[4] < 7 || (p[5] & 0x10) == 0) return -1;
    return (int64_t{p[6]} << 25) | (int64_t{p[7]} << 17) | (int64_t{p[8]} << 9) |
           (int64_t{p[9]} << 1) | (p[10] >> 7);
}

}  // namespace

Recorder::Recorder(Notify notify, NowMs now_ms, uint64_t size_limit)
    : notify_(std::move(notify)), now_ms_(std::move(now_ms)), size_limit_(size_limit) {}

Recorder::~Recorder() {
    Stop();
}

bool Recorder::Start(const std::string& path) {
    Messages messages;
    bool ok;
    {
        std::lock_guard lock(mutex_);
        CloseLocked(&messages);
        ts_mode_ = EndsWith(path, ".ts");
        base_ = ts_mode_ ? path.substr(0, path.size() - 3) : path;
        splits_ = 0;
        pending_.clear();
        pcr_.clear();
        ok = OpenLocked(path, &messages);
        systems_.reset();
        if (ok && ts_mode_) systems_ = std::make_unique<Mpeg4SystemsInput>(nullptr, false);
        if (ok && EndsWith(path, ".m4a")) {
            m4a_ = std::make_unique<M4aWriter>([this](const uint8_t* data, size_t length) {
                return WriteRawLocked(data, length, &m4a_messages_);
            });
        }
    }
    Send(messages);
    return ok;
}

void Recorder::Stop() {
    Messages messages;
    {
        std::lock_guard lock(mutex_);
        CloseLocked(&messages);
    }
    Send(messages);
}

bool Recorder::Recording() const {
    std::lock_guard lock(mutex_);
    return file_ != nullptr;
}

void Recorder::Write(const uint8_t* data, size_t length) {
    if (data == nullptr || length == 0) return;
    Messages messages;
    {
        std::lock_guard lock(mutex_);
        if (file_ == nullptr) return;
        if (ts_mode_) {
            systems_->Process(data, length, &pending_);
            WriteTsLocked(&messages);
        } else if (m4a_ != nullptr) {
            m4a_->Write(data, length);
            messages.swap(m4a_messages_);
        } else {
            WriteRawLocked(data, length, &messages);
        }
        FlushIfDueLocked(now_ms_(), &messages);
    }
    Send(messages);
}

bool Recorder::OpenLocked(const std::string& path, Messages* out) {
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) {
        M4_LOG(1, kSource, "cannot create %s: %s", path.c_str(), std::strerror(errno));
        out->push_back({WM_SYSTEM_RECORD_WRITE_ERROR, 0, 0});
        return false;
    }
    file_buffer_.resize(kFileBufferBytes);
    std::setvbuf(file_, file_buffer_.data(), _IOFBF, file_buffer_.size());
    file_bytes_ = 0;
    flushed_ms_ = now_ms_();
    M4_LOG(2, kSource, "recording to %s", path.c_str());
    return true;
}

void Recorder::CloseLocked(Messages* out) {
    if (m4a_ != nullptr) {
        if (file_ != nullptr) m4a_->Finish();
        m4a_.reset();
        out->insert(out->end(), m4a_messages_.begin(), m4a_messages_.end());
        m4a_messages_.clear();
    }
    if (file_ == nullptr) return;
    // What waits for a whole packet was received too: it goes to the file as it is.
    if (systems_ != nullptr) systems_->Flush(&pending_);
    systems_.reset();
    if (!pending_.empty()) {
        std::vector<uint8_t> rest;
        rest.swap(pending_);
        if (!WriteRawLocked(rest.data(), rest.size(), out)) return;
    }
    const bool failed = std::fclose(file_) != 0;
    file_ = nullptr;
    if (failed) {
        M4_LOG(1, kSource, "closing the recording failed: %s", std::strerror(errno));
        out->push_back({WM_SYSTEM_RECORD_WRITE_ERROR, 0, 0});
    }
}

void Recorder::FailLocked(uint32_t message, Messages* out) {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    pending_.clear();
    out->push_back({message, 0, 0});
}

bool Recorder::WriteUnitLocked(const uint8_t* data, size_t length, Messages* out) {
    if (file_bytes_ + length > size_limit_) {
        M4_LOG(1, kSource, "recording reached %llu bytes and stops",
               static_cast<unsigned long long>(file_bytes_));
        FailLocked(WM_SYSTEM_RECORD_SIZE_LIMIT, out);
        return false;
    }
    if (std::fwrite(data, 1, length, file_) != length) {
        M4_LOG(1, kSource, "writing the recording failed: %s", std::strerror(errno));
        FailLocked(WM_SYSTEM_RECORD_WRITE_ERROR, out);
        return false;
    }
    file_bytes_ += length;
    return true;
}

// Bytes without packet structure fill the file up to the limit exactly.
bool Recorder::WriteRawLocked(const uint8_t* data, size_t length, Messages* out) {
    const uint64_t room = size_limit_ - std::min(file_bytes_, size_limit_);
    if (length > room) {
        if (room > 0 && !WriteUnitLocked(data, static_cast<size_t>(room), out)) return false;
        return WriteUnitLocked(data + room, length - static_cast<size_t>(room), out);
    }
    return WriteUnitLocked(data, length, out);
}

void Recorder::FlushIfDueLocked(uint32_t now, Messages* out) {
    if (file_ == nullptr || now - flushed_ms_ < kFlushMs) return;
    flushed_ms_ = now;
    if (std::fflush(file_) != 0) {
        M4_LOG(1, kSource, "writing the recording failed: %s", std::strerror(errno));
        FailLocked(WM_SYSTEM_RECORD_WRITE_ERROR, out);
    }
}

bool Recorder::TimeJumps(const uint8_t* packet, uint32_t now) {
    const int64_t pcr = PacketPcr(packet);
    if (pcr < 0) return false;
    const int pid = ((packet[1] & 0x1F) << 8) | packet[2];
    auto found = pcr_.find(pid);
    if (found == pcr_.end()) {
        pcr_[pid] = {pcr, now};
        return false;
    }
    PcrState& last = found->second;
    int64_t delta = (pcr - last.pcr_90khz) % kPcrWrap;  // across the 33-bit wrap
    if (delta >= kPcrWrap / 2) delta -= kPcrWrap;
    if (delta < -kPcrWrap / 2) delta += kPcrWrap;
    const int64_t delta_ms = delta / 90;
    const int64_t passed_ms = static_cast<uint32_t>(now - last.arrival_ms);
    last = {pcr, now};
    return delta_ms < -kJumpToleranceMs || delta_ms > passed_ms + kJumpToleranceMs;
}

void Recorder::WriteTsLocked(Messages* out) {
    const uint32_t now = now_ms_();
    size_t pos = 0;
    while (file_ != nullptr && pending_.size() - pos >= kTsPacket) {
        const uint8_t* here = pending_.data() + pos;
        if (*here != kTsSync) {
            // Out of step: the bytes up to the next sync byte are kept as they came.
            const uint8_t* end = pending_.data() + pending_.size();
            const uint8_t* next =
                static_cast<const uint8_t*>(std::memchr(here + 1, kTsSync, end - here - 1));
            const size_t skip = (next != nullptr ? next : end) - here;
            if (!WriteRawLocked(here, skip, out)) return;
            pos += skip;
            continue;
        }
        if (TimeJumps(here, now)) {
            if (std::fclose(file_) != 0) {
                file_ = nullptr;
                FailLocked(WM_SYSTEM_RECORD_WRITE_ERROR, out);
                return;
            }
            file_ = nullptr;
            ++splits_;
            const std::string next_path = base_ + "-" + std::to_string(splits_) + ".ts";
            M4_LOG(2, kSource, "time jump in the stream: recording goes on in %s",
                   next_path.c_str());
            if (!OpenLocked(next_path, out)) {
                pending_.clear();
                return;
            }
            out->push_back({WM_SYSTEM_RECORD_SPLIT, splits_, 0});
        }
        if (!WriteUnitLocked(here, kTsPacket, out)) return;
        pos += kTsPacket;
    }
    if (file_ != nullptr) pending_.erase(pending_.begin(), pending_.begin() + pos);
}

void Recorder::Send(const Messages& messages) {
    for (const auto& [message, wparam, lparam] : messages) {
        if (notify_) notify_(static_cast<uint32_t>(message), wparam, lparam);
    }
}

}  // namespace koru::m4
