#include "player/skin/skin_layout.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <pugixml.hpp>
#include <set>

#include "m4systems/log.h"
#include "player/skin/byte_reader.h"

namespace koru::skin {
namespace {

constexpr const char* kLogSource = "SkinLayout";

int Saturated(int64_t value) {
    return static_cast<int>(std::clamp<int64_t>(value, std::numeric_limits<int>::min(),
                                                std::numeric_limits<int>::max()));
}

// x, y, width, height of an element; the empty rectangle when one of them is missing.
Rect ReadRect(pugi::xml_node element) {
    pugi::xml_attribute x = element.attribute("x"), y = element.attribute("y");
    pugi::xml_attribute width = element.attribute("width"), height = element.attribute("height");
    if (!x || !y || !width || !height) return Rect();
    Rect rect;
    rect.left = x.as_int();
    rect.top = y.as_int();
    rect.right = Saturated(int64_t{rect.left} + width.as_int());
    rect.bottom = Saturated(int64_t{rect.top} + height.as_int());
    return rect;
}

enum class Level { kPage, kPanel, kLayer, kOblet };

// Walks the pages, panels, layers and oblets of a layout document in document order. For each
// element: on_element(level, id, parent id, rectangle, type); for each image it declares, in
// the order their records follow the XML: on_image(name).
template <typename OnElement, typename OnImage>
void WalkLayout(pugi::xml_node root, OnElement on_element, OnImage on_image) {
    for (pugi::xml_node page : root.children("page")) {
        const std::string page_id = page.attribute("id").value();
        on_element(Level::kPage, page_id, std::string(), ReadRect(page), std::string());
        for (pugi::xml_node panel : page.children("panel")) {
            const std::string panel_id = panel.attribute("id").value();
            on_element(Level::kPanel, panel_id, page_id, ReadRect(panel), std::string());
            for (pugi::xml_node layer : panel.children("layer")) {
                const std::string layer_id = layer.attribute("id").value();
                on_element(Level::kLayer, layer_id, panel_id, ReadRect(layer), std::string());
                if (layer.attribute("size").as_int() > 0)
                    on_image(layer.attribute("resource").value());
                for (pugi::xml_node oblet : layer.children("oblet")) {
                    const std::string type = oblet.attribute("type").value();
                    const std::string resource = oblet.attribute("resource").value();
                    on_element(Level::kOblet, oblet.attribute("id").value(), layer_id,
                               ReadRect(oblet), type);
                    if (type == "button" && !resource.empty()) {
                        for (char k = '1'; k <= '4'; ++k) {
                            const std::string size_key = std::string("size") + k;
                            if (oblet.attribute(size_key.c_str()).as_int() > 0) {
                                on_image(resource + "_" + k);
                            }
                        }
                    } else if (type == "bitmap" && !resource.empty() &&
                               oblet.attribute("size").as_int() > 0) {
                        on_image(resource);
                    }
                }
            }
        }
    }
}

// Reads one image record: a block that is skipped, then the image. False when the record does
// not fit in the data.
bool ReadImageRecord(ByteReader& reader, std::span<const uint8_t>* image) {
    uint32_t length = 0;
    return reader.ReadLe32(&length) && reader.Skip(length) && reader.ReadLe32(&length) &&
           reader.ReadBytes(length, image);
}

std::string ParseErrorText(const pugi::xml_parse_result& result) {
    return std::string("The layout cannot be read: ") + result.description() + " (offset " +
           std::to_string(result.offset) + ")";
}

}  // namespace

bool SkinLayout::LoadLayout(const std::string& file_name) {
    struct stat st {};
    if (stat(file_name.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    std::vector<uint8_t> data;
    const int fd = open(file_name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        uint8_t buffer[65536];
        ssize_t n = 0;
        while ((n = read(fd, buffer, sizeof(buffer))) > 0 || (n < 0 && errno == EINTR)) {
            if (n > 0) data.insert(data.end(), buffer, buffer + n);
        }
        close(fd);
    } else {
        M4_LOG(1, kLogSource, "cannot read %s: %s", file_name.c_str(), std::strerror(errno));
    }
    LoadLayoutData(data);
    return true;
}

void SkinLayout::LoadLayoutData(std::span<const uint8_t> data) {
    ClearLayout();
    ByteReader reader(data);
    uint32_t xml_length = 0;
    std::span<const uint8_t> xml;
    if (!reader.ReadLe32(&xml_length) || !reader.ReadBytes(xml_length, &xml)) {
        M4_LOG(1, kLogSource, "layout of %zu bytes holds no XML of %u bytes", data.size(),
               xml_length);
        if (show_message_) show_message_("Error", "The layout file is too short.");
        return;
    }
    pugi::xml_document document;
    const pugi::xml_parse_result parsed = document.load_buffer(xml.data(), xml.size());
    if (!parsed) {
        M4_LOG(1, kLogSource, "%s", ParseErrorText(parsed).c_str());
        if (show_message_) show_message_("Error", ParseErrorText(parsed));
        return;
    }
    bool records_left = true;
    WalkLayout(
        document.document_element(),
        [this](Level level, const std::string& id, const std::string& parent, const Rect& rect,
               const std::string& type) {
            if (level == Level::kPage) current_page_ = id;
            if (level == Level::kPanel) current_panel_ = id;
            if (level == Level::kLayer) current_layer_ = id;
            if (level != Level::kPage) parents_[id] = parent;
            rectangles_[id] = ItemRect{rect, type};
        },
        [&](const std::string& name) {
            std::span<const uint8_t> bytes;
            if (!records_left) return;
            if (!ReadImageRecord(reader, &bytes)) {
                M4_LOG(1, kLogSource, "no image record for %s: the file ends", name.c_str());
                records_left = false;
                return;
            }
            auto image = std::make_unique<DibImage>();
            std::string kind;
            const int result = image->LoadFromMemory(bytes.data(), bytes.size(), &kind);
            if (result != kImageOk) {
                M4_LOG(1, kLogSource, "image %s (%s) not decoded: %d", name.c_str(),
                       kind.empty() ? "unknown" : kind.c_str(), result);
                return;
            }
            bitmaps_[name] = std::move(image);
        });
}

void SkinLayout::ClearLayout() {
    rectangles_.clear();
    parents_.clear();
    bitmaps_.clear();
    current_page_.clear();
    current_panel_.clear();
    current_layer_.clear();
}

Rect SkinLayout::GetItemRect(const std::string& id) const {
    auto found = rectangles_.find(id);
    return found != rectangles_.end() ? found->second.rect : Rect();
}

Rect SkinLayout::GetAbsoluteRect(const std::string& id) const {
    auto found = rectangles_.find(id);
    if (found == rectangles_.end()) return Rect();
    Rect rect = found->second.rect;
    // Ids replaced by later elements can make the parents loop: each ancestor counts once.
    std::set<std::string> seen = {id};
    std::string current = id;
    for (;;) {
        auto parent = parents_.find(current);
        if (parent == parents_.end() || parent->second.empty()) break;
        if (!seen.insert(parent->second).second) break;
        current = parent->second;
        const Rect offset = GetItemRect(current);
        rect.left = Saturated(int64_t{rect.left} + offset.left);
        rect.right = Saturated(int64_t{rect.right} + offset.left);
        rect.top = Saturated(int64_t{rect.top} + offset.top);
        rect.bottom = Saturated(int64_t{rect.bottom} + offset.top);
    }
    return rect;
}

std::string SkinLayout::GetItemType(const std::string& id) const {
    auto found = rectangles_.find(id);
    return found != rectangles_.end() ? found->second.type : std::string();
}

const DibImage* SkinLayout::GetBitmap(const std::string& name, int state) const {
    std::string key = name;
    if (state >= 0 && state <= 3) {
        key += "_" + std::to_string(state + 1);
    } else if (state != -1) {
        return nullptr;
    }
    auto found = bitmaps_.find(key);
    return found != bitmaps_.end() ? found->second.get() : nullptr;
}

bool SkinLayout::IsMainWindowSkin() const {
    const Rect skin = GetAbsoluteRect("RG_SKIN");
    return skin.width() >= 1 || skin.height() >= 1;
}

int SkinLayout::SkinNumber() const {
    return GetAbsoluteRect("RG_SKIN").left;
}

std::optional<std::vector<std::string>> DeclaredImageNames(std::string_view xml) {
    pugi::xml_document document;
    if (!document.load_buffer(xml.data(), xml.size())) return std::nullopt;
    std::vector<std::string> names;
    WalkLayout(
        document.document_element(),
        [](Level, const std::string&, const std::string&, const Rect&, const std::string&) {},
        [&](const std::string& name) { names.push_back(name); });
    return names;
}

}  // namespace koru::skin
