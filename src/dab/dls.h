// Dynamic labels (EN 300 401 clause 7.4.5.2): radio text of up to 128 bytes, sent in X-PAD as
// segments of up to 16 bytes. Each segment is one X-PAD data group:
//   prefix: toggle, first, last, C flag, length-1 (or command) (4 bits),
//           first segment: character set (4 bits), else segment number (3 bits); 4 bits rfa
//   up to 16 bytes of text, CRC-16 over prefix and text
#ifndef DAB_DLS_H
#define DAB_DLS_H

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace koru::dab {

inline constexpr size_t kMaxDynamicLabelBytes = 128;

struct DynamicLabel {
    std::vector<uint8_t> text;  // in `charset`
    uint8_t charset = 0;
    std::string Utf8() const;
    bool operator==(const DynamicLabel&) const = default;
};

// The segments of a label (text cut to 128 bytes), each a complete data group.
std::vector<std::vector<uint8_t>> BuildDynamicLabel(const DynamicLabel& label, bool toggle);
// The "remove label" command.
std::vector<uint8_t> BuildDynamicLabelClear(bool toggle);

// Bytes of the DL data group that starts with these two prefix bytes (prefix, text or
// command field, CRC).
size_t DynamicLabelGroupSize(uint8_t prefix0, uint8_t prefix1);

// Joins segments into labels. A label is reported when all its segments are in and it differs
// from the last one reported; a "remove label" command reports an empty label.
class DynamicLabelDecoder {
  public:
    using LabelHandler = std::function<void(const DynamicLabel& label)>;
    explicit DynamicLabelDecoder(LabelHandler on_label) : on_label_(std::move(on_label)) {}

    // One segment (a whole DL data group); false when it is malformed or its CRC is wrong.
    bool Feed(std::span<const uint8_t> segment);

  private:
    void Report(const DynamicLabel& label);

    LabelHandler on_label_;
    std::optional<bool> toggle_;
    std::vector<std::optional<std::vector<uint8_t>>> segments_ =
        std::vector<std::optional<std::vector<uint8_t>>>(8);
    std::optional<int> last_segment_;
    uint8_t charset_ = 0;
    std::optional<DynamicLabel> reported_;
};

}  // namespace koru::dab

#endif
