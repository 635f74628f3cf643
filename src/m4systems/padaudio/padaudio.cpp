#include "m4systems/padaudio/padaudio.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "m4systems/atomic_file.h"
#include "m4systems/log.h"
#include "m4systems/messages.h"
#include "m4systems/padaudio/pad_decoder.h"
#include "m4systems/padaudio/pad_service.h"

namespace koru::padaudio {

namespace {

constexpr const char* kSource = "padaudio";
constexpr size_t kDlsBufferBytes = 256;
// 1244 values at or below this (7.8 dB, the weakest signal display) make the PAD untrusted.
constexpr int kWeakSignal = 78;

struct Slide {
    std::string path;
    uint16_t content_type = 0;
    uint16_t content_subtype = 0;
};

struct Report {
    uint32_t message;
    int64_t wparam;
    int64_t lparam;
};

// A MOT ContentName as a relative path below the MOT folder: "\" becomes "/", and nothing may
// lead out of the folder ("..", a leading "/", empty parts).
std::string SafeRelativeName(const std::string& name) {
    std::string normal = name;
    std::replace(normal.begin(), normal.end(), '\\', '/');
    std::string out;
    size_t begin = 0;
    while (begin <= normal.size()) {
        size_t end = normal.find('/', begin);
        if (end == std::string::npos) end = normal.size();
        std::string part = normal.substr(begin, end - begin);
        if (part == "..") part = "__";
        if (!part.empty() && part != ".") {
            if (!out.empty()) out += '/';
            out += part;
        }
        begin = end + 1;
    }
    return out;
}

std::string FallbackName(const dab::MotObject& object) {
    const char* extension = object.header.content_subtype == dab::kMotImagePng ? "png" : "jpg";
    return "slide" + std::to_string(object.transport_id) + "." + extension;
}

class PadService {
  public:
    PadService() { Restart(); }

    void SetPath(const std::string& path) {
        std::lock_guard lock(mutex_);
        mot_path_ = path;
    }

    void Restart() {
        std::lock_guard lock(mutex_);
        RestartLocked();
    }

    void DropPartial() {
        std::lock_guard lock(mutex_);
        decoder_->DropPartial();
    }

    // Runs feed(decoder) and sends what it reported.
    template <typename Feed>
    void Decode(const Feed& feed, const Notify& notify) {
        std::vector<Report> reports;
        {
            std::lock_guard lock(mutex_);
            reports_ = &reports;
            feed(*decoder_);
            reports_ = nullptr;
        }
        // Outside the lock: the player may ask for the label at once.
        if (notify) {
            for (const Report& report : reports)
                notify(report.message, report.wparam, report.lparam);
        }
    }

    int CopyLabel(uint8_t* buffer) {
        std::lock_guard lock(mutex_);
        std::memset(buffer, 0, kDlsBufferBytes);
        const size_t length = std::min(label_.text.size(), kDlsBufferBytes - 1);
        std::copy_n(label_.text.begin(), length, buffer);
        return static_cast<int>(length);
    }

    int CopySlide(MOTFileName* record) {
        std::lock_guard lock(mutex_);
        std::memset(record, 0, sizeof(*record));
        if (!slide_) return 0;
        std::memcpy(record->name, slide_->path.data(), slide_->path.size());
        record->content_type = slide_->content_type;
        record->content_subtype = slide_->content_subtype;
        return 1;
    }

  private:
    void RestartLocked() {
        decoder_ = std::make_unique<PadDecoder>(
            PadDecoder::Handlers{[this](const dab::DynamicLabel& label) { OnLabel(label); },
                                 [this](const dab::MotObject& object) { OnObject(object); }});
        label_ = {};
        slide_.reset();
    }

    // Called inside Feed, under the lock.
    void OnLabel(const dab::DynamicLabel& label) {
        label_ = label;
        M4_LOG(2, kSource, "label (set %d): %s", label.charset, label.Utf8().c_str());
        if (reports_ != nullptr) {
            reports_->push_back(
                {WM_SYSTEM_DLS, label.charset, static_cast<int64_t>(label.text.size())});
        }
    }

    void OnObject(const dab::MotObject& object) {
        if (object.header.content_type != dab::kMotImage) {
            M4_LOG(2, kSource, "MOT object %u of type %d is no slide", object.transport_id,
                   object.header.content_type);
            return;
        }
        if (mot_path_.empty()) {
            M4_LOG(1, kSource, "slide %u received, but no MOT folder is set", object.transport_id);
            return;
        }
        std::string name = SafeRelativeName(object.header.ContentName().value_or(""));
        if (name.empty()) name = FallbackName(object);
        const std::string path = mot_path_ + name;
        if (path.size() >= sizeof(MOTFileName::name)) {
            M4_LOG(1, kSource, "slide path too long: %s", path.c_str());
            return;
        }
        std::error_code error;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
        const std::string_view body(reinterpret_cast<const char*>(object.body.data()),
                                    object.body.size());
        if (!WriteFileAtomically(path, body)) {
            M4_LOG(1, kSource, "cannot write the slide %s", path.c_str());
            return;
        }
        slide_ = Slide{path, object.header.content_type, object.header.content_subtype};
        M4_LOG(2, kSource, "slide %s, %zu bytes", path.c_str(), object.body.size());
        if (reports_ != nullptr) {
            reports_->push_back({WM_SYSTEM_MOT_FILE, object.transport_id,
                                 static_cast<int64_t>(object.body.size())});
        }
    }

    std::mutex mutex_;
    std::string mot_path_;
    std::unique_ptr<PadDecoder> decoder_;
    dab::DynamicLabel label_;
    std::optional<Slide> slide_;
    std::vector<Report>* reports_ = nullptr;
};

PadService& Service() {
    static PadService service;
    return service;
}

}  // namespace

void FeedAudioFrame(const uint8_t* frame, size_t size, const Notify& notify) {
    if (frame == nullptr || size == 0) return;
    Service().Decode([&](PadDecoder& decoder) { decoder.Feed(frame, size); }, notify);
}

void FeedPad(const dab::PadFrame& pad, const Notify& notify) {
    Service().Decode([&](PadDecoder& decoder) { decoder.FeedPad(pad); }, notify);
}

}  // namespace koru::padaudio

int SetMOTPath(const char* path) {
    if (path == nullptr) return 0;
    koru::padaudio::Service().SetPath(path);
    M4_LOG(2, "padaudio", "MOT folder %s", path);
    return static_cast<int>(std::strlen(path)) + 1;
}

void MOTInitVariable(int reset) {
    if (reset == 1) koru::padaudio::Service().Restart();
}

int GetCurrentRadioType(int live) {
    koru::padaudio::Service().Restart();
    return live;
}

void PADDataInValidCheck(int signal) {
    if (signal <= koru::padaudio::kWeakSignal) koru::padaudio::Service().DropPartial();
}

int GetDLSData(uint8_t* buffer) {
    return buffer != nullptr ? koru::padaudio::Service().CopyLabel(buffer) : 0;
}

int GetMOTFileName(MOTFileName* record) {
    return record != nullptr ? koru::padaudio::Service().CopySlide(record) : 0;
}
