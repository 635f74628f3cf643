#include "m4systems/inifile.h"

#include <strings.h>

#include <cstdlib>
#include <fstream>
#include <list>
#include <mutex>
#include <sstream>
#include <string>

#include "m4systems/atomic_file.h"
#include "m4systems/log.h"

namespace {

constexpr const char* kSource = "inifile";

struct Entry {
    std::string key;  // empty for a comment or blank line
    std::string value;
    std::string raw;  // the line as read, kept until the entry changes
};

struct Section {
    std::string name;  // empty for lines before the first section header
    std::list<Entry> entries;
};

std::string Trim(const std::string& text) {
    const char* blanks = " \t\r\n";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

bool SameName(const std::string& a, const char* b) {
    return strcasecmp(a.c_str(), b) == 0;
}

}  // namespace

struct IniFile {
    std::string path;
    std::mutex mutex;
    std::list<Section> sections;  // lists keep value texts in place for IF_GetKey's callers

    void Parse(std::istream& in) {
        sections.push_back(Section{});
        std::string line;
        bool first_line = true;
        while (std::getline(in, line)) {
            if (first_line && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
            first_line = false;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            std::string trimmed = Trim(line);
            if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']') {
                sections.push_back(Section{Trim(trimmed.substr(1, trimmed.size() - 2)), {}});
                continue;
            }
            Entry entry{{}, {}, line};
            size_t equals = trimmed.find('=');
            if (!trimmed.empty() && trimmed[0] != ';' && trimmed[0] != '#' &&
                equals != std::string::npos && equals > 0) {
                entry.key = Trim(trimmed.substr(0, equals));
                entry.value = Trim(trimmed.substr(equals + 1));
            }
            sections.back().entries.push_back(std::move(entry));
        }
    }

    Section* FindSection(const char* name) {
        for (Section& section : sections) {
            if (!section.name.empty() && SameName(section.name, name)) return &section;
        }
        return nullptr;
    }

    static Entry* FindEntry(Section& section, const char* key) {
        for (Entry& entry : section.entries) {
            if (!entry.key.empty() && SameName(entry.key, key)) return &entry;
        }
        return nullptr;
    }

    std::string Serialise() const {
        std::ostringstream out;
        for (const Section& section : sections) {
            if (!section.name.empty()) out << '[' << section.name << "]\n";
            for (const Entry& entry : section.entries)
                out << entry.raw << '\n';
        }
        return out.str();
    }
};

IniFile* NewIniFile(const char* folder, const char* name) {
    if (folder == nullptr || name == nullptr) return nullptr;
    std::string path = folder;
    if (!path.empty() && path.back() != '/') path += '/';
    path += name;
    std::ifstream in(path, std::ios::binary);
    if (!in) return nullptr;
    auto* ini = new IniFile;
    ini->path = path;
    ini->Parse(in);
    if (std::getenv("KORU_LOG_LEVEL") == nullptr) {
        if (const char* level = IF_GetKey(ini, "General", "LogLevel")) {
            M4_SetLogLevel(std::atoi(level));
        }
    }
    return ini;
}

const char* IF_GetKey(IniFile* ini, const char* section, const char* key) {
    if (ini == nullptr || section == nullptr || key == nullptr) return nullptr;
    std::lock_guard lock(ini->mutex);
    Section* found = ini->FindSection(section);
    if (found == nullptr) return nullptr;
    Entry* entry = IniFile::FindEntry(*found, key);
    return entry != nullptr ? entry->value.c_str() : nullptr;
}

M4Err IF_SetKey(IniFile* ini, const char* section, const char* key, const char* value) {
    if (ini == nullptr || section == nullptr || key == nullptr || *key == '\0' ||
        *section == '\0') {
        return M4BadParam;
    }
    std::string contents;
    {
        std::lock_guard lock(ini->mutex);
        Section* target = ini->FindSection(section);
        if (target == nullptr) {
            if (value == nullptr) return M4OK;
            ini->sections.push_back(Section{section, {}});
            target = &ini->sections.back();
        }
        Entry* entry = IniFile::FindEntry(*target, key);
        if (value == nullptr) {
            if (entry == nullptr) return M4OK;
            target->entries.remove_if([entry](const Entry& e) { return &e == entry; });
        } else if (entry != nullptr) {
            entry->value = value;
            entry->raw = entry->key + "=" + entry->value;
        } else {
            // New keys go after the section's last key, before trailing blank lines.
            auto position = target->entries.end();
            while (position != target->entries.begin() && Trim(std::prev(position)->raw).empty()) {
                --position;
            }
            target->entries.insert(position, Entry{key, value, std::string(key) + "=" + value});
        }
        contents = ini->Serialise();
    }
    if (!koru::WriteFileAtomically(ini->path, contents)) {
        M4_LOG(1, kSource, "cannot save %s", ini->path.c_str());
        return M4IOErr;
    }
    return M4OK;
}

void IF_Delete(IniFile* ini) {
    delete ini;
}
