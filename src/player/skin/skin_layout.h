// SkinLayout: a skin's layout file (".lay") read into three lookup tables: where each element
// lies (relative to its parent, or absolute within its page) and which bitmap paints it.
//
// A ".lay" file, little-endian: the XML length (32 bits), the XML text, then one image record
// for every image the XML declares, in document order. An image record is a length-prefixed
// block the reader skips (a skin writer stores the image's name there) followed by a
// length-prefixed BMP or GIF file.
#ifndef PLAYER_SKIN_SKIN_LAYOUT_H
#define PLAYER_SKIN_SKIN_LAYOUT_H

#include <algorithm>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "player/skin/dib_image.h"
#include "player/skin/jpeg_file.h"

namespace koru::skin {

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int width() const { return Span(left, right); }
    int height() const { return Span(top, bottom); }
    bool operator==(const Rect&) const = default;

  private:
    static int Span(int from, int to) {
        return static_cast<int>(std::clamp<int64_t>(
            int64_t{to} - from, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
    }
};

struct ItemRect {
    Rect rect;
    std::string type;  // an oblet's `type`; empty for pages, panels and layers
};

class SkinLayout {
  public:
    // Clears the object and reads the file. False when the file does not exist (nothing is
    // changed); true otherwise, also when its XML could not be read (the tables stay empty, and
    // the message callback says why).
    bool LoadLayout(const std::string& file_name);
    // The same for the bytes of a layout file.
    void LoadLayoutData(std::span<const uint8_t> data);
    // Deletes every bitmap and empties the tables.
    void ClearLayout();

    // The element's rectangle relative to its parent; empty for an unknown id.
    Rect GetItemRect(const std::string& id) const;
    // The element's rectangle moved by the top-left corner of every ancestor up to its page;
    // empty for an unknown id.
    Rect GetAbsoluteRect(const std::string& id) const;
    // The `type` of an oblet; empty for other elements and unknown ids.
    std::string GetItemType(const std::string& id) const;
    // State -1 looks up `name` itself, states 0 to 3 the button images name_1 to name_4; any
    // other state, and a name without an image, give nullptr.
    const DibImage* GetBitmap(const std::string& name, int state = -1) const;

    // A layout counts as a skin of the main window when `RG_SKIN` has a width or a height of at
    // least 1; the absolute left of `RG_SKIN` is the skin's number.
    bool IsMainWindowSkin() const;
    int SkinNumber() const;

    const std::map<std::string, ItemRect>& rectangles() const { return rectangles_; }
    const std::map<std::string, std::string>& parents() const { return parents_; }
    const std::map<std::string, std::unique_ptr<DibImage>>& bitmaps() const { return bitmaps_; }

    // Receives the "Error" message when a layout's XML cannot be read.
    void SetMessageCallback(ShowMessage callback) { show_message_ = std::move(callback); }

  private:
    std::map<std::string, ItemRect> rectangles_;
    std::map<std::string, std::string> parents_;
    std::map<std::string, std::unique_ptr<DibImage>> bitmaps_;
    std::string current_page_;
    std::string current_panel_;
    std::string current_layer_;
    ShowMessage show_message_;
};

// The names of the images a layout document declares, in the order their records must follow
// it; nothing when the XML cannot be read. Skin writers store the images in this order.
std::optional<std::vector<std::string>> DeclaredImageNames(std::string_view xml);

}  // namespace koru::skin

#endif
