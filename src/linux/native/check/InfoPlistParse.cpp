// Property lists on the host, which has no CoreFoundation: Debian's libplist reads the XML and
// the binary form as macOS does.

#include <cstdlib>
#include <plist/plist.h>

#include "InfoPlist.h"

namespace {

// The text of a string node, "" for other nodes.
std::string textOf(plist_t node) {
    if (plist_get_node_type(node) != PLIST_STRING) {
        return std::string();
    }
    char* value = nullptr;
    plist_get_string_val(node, &value);
    const std::string text = value ? value : "";
    std::free(value);
    return text;
}

// Calls f(key, value) for every entry of the dictionary dict.
template <class F> void forEachEntry(plist_t dict, F f) {
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(dict, &it);
    if (!it) {
        return;
    }
    for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(dict, it, &key, &value);
        if (!key) {
            break;
        }
        f(std::string(key), value);
        std::free(key);
    }
    std::free(it);
}

} // namespace

InfoPlist InfoPlist::parseBounded(const std::string& data) {
    InfoPlist result;
    plist_t root = nullptr;
    plist_from_memory(data.data(), static_cast<uint32_t>(data.size()), &root);
    if (!root || plist_get_node_type(root) != PLIST_DICT) {
        result.error = root ? "its top level is no dictionary" : "it is no property list";
        if (root) {
            plist_free(root);
        }
        return result;
    }
    forEachEntry(root, [&](const std::string& key, plist_t value) {
        if (plist_get_node_type(value) == PLIST_STRING) {
            result.strings[key] = textOf(value);
        } else if (plist_get_node_type(value) == PLIST_DICT) {
            std::map<std::string, std::string>& dict = result.dictionaries[key];
            forEachEntry(value, [&](const std::string& name, plist_t entry) {
                if (plist_get_node_type(entry) == PLIST_STRING) {
                    dict[name] = textOf(entry);
                }
            });
        }
    });
    plist_free(root);
    return result;
}
