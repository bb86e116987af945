#include "ModuleInfo.h"

#include <cstdint>
#include <new>
#include <vector>

namespace {

// Constant pool tags, as of Java 25.
enum Tag : uint8_t {
    Utf8 = 1,
    Integer = 3,
    Float = 4,
    Long = 5,
    Double = 6,
    Class = 7,
    String = 8,
    Fieldref = 9,
    Methodref = 10,
    InterfaceMethodref = 11,
    NameAndType = 12,
    MethodHandle = 15,
    MethodType = 16,
    Dynamic = 17,
    InvokeDynamic = 18,
    Module = 19,
    Package = 20,
};

constexpr uint16_t kAccModule = 0x8000;
constexpr uint16_t kFirstModuleMajor = 53; // Java 9

// Big-endian reads that stop at the end of the bytes instead of reading past it.
class Reader {
public:
    explicit Reader(const std::string& bytes) : bytes(bytes) {}

    bool u1(uint32_t& v) { return read(1, v); }
    bool u2(uint32_t& v) { return read(2, v); }
    bool u4(uint32_t& v) { return read(4, v); }
    bool skip(size_t n) {
        if (bytes.size() - pos < n) {
            return false;
        }
        pos += n;
        return true;
    }
    size_t position() const { return pos; }

private:
    bool read(size_t n, uint32_t& v) {
        if (bytes.size() - pos < n) {
            return false;
        }
        v = 0;
        for (size_t i = 0; i != n; ++i) {
            v = v << 8 | static_cast<unsigned char>(bytes[pos++]);
        }
        return true;
    }

    const std::string& bytes;
    size_t pos = 0;
};

struct Constant {
    uint8_t tag = 0; // 0: unused (the slot after a long or double, and slot 0)
    size_t at = 0;   // where its content starts, after the tag
};

class ConstantPool {
public:
    explicit ConstantPool(const std::string& bytes) : bytes(bytes) {}

    bool read(Reader& r) {
        uint32_t count;
        if (!r.u2(count) || count == 0) {
            return false;
        }
        constants.assign(count, Constant());
        for (uint32_t i = 1; i < count; ++i) {
            uint32_t tag;
            if (!r.u1(tag)) {
                return false;
            }
            constants[i].tag = static_cast<uint8_t>(tag);
            constants[i].at = r.position();
            size_t size;
            switch (tag) {
            case Utf8: {
                uint32_t length;
                if (!r.u2(length)) {
                    return false;
                }
                size = length;
                break;
            }
            case Class:
            case String:
            case MethodType:
            case Module:
            case Package:
                size = 2;
                break;
            case MethodHandle:
                size = 3;
                break;
            case Integer:
            case Float:
            case Fieldref:
            case Methodref:
            case InterfaceMethodref:
            case NameAndType:
            case Dynamic:
            case InvokeDynamic:
                size = 4;
                break;
            case Long:
            case Double:
                size = 8;
                ++i; // takes two slots
                break;
            default:
                return false;
            }
            if (!r.skip(size)) {
                return false;
            }
        }
        return true;
    }

    // The text of the Utf8 constant at index.
    bool utf8(uint32_t index, std::string& out) const {
        if (index >= constants.size() || constants[index].tag != Utf8) {
            return false;
        }
        const size_t at = constants[index].at;
        const size_t length =
            static_cast<unsigned char>(bytes[at]) << 8 | static_cast<unsigned char>(bytes[at + 1]);
        out.assign(bytes, at + 2, length);
        return true;
    }

    // The text of the Utf8 constant that the constant at index (of the tag given) names.
    bool named(uint32_t index, uint8_t tag, std::string& out) const {
        if (index >= constants.size() || constants[index].tag != tag) {
            return false;
        }
        const size_t at = constants[index].at;
        return utf8(static_cast<unsigned char>(bytes[at]) << 8 |
                        static_cast<unsigned char>(bytes[at + 1]),
                    out);
    }

private:
    const std::string& bytes;
    std::vector<Constant> constants;
};

// Skips the fields or the methods, each with its attributes.
bool skipMembers(Reader& r) {
    uint32_t count;
    if (!r.u2(count)) {
        return false;
    }
    for (uint32_t i = 0; i != count; ++i) {
        uint32_t attributes;
        if (!r.skip(6) || !r.u2(attributes)) {
            return false;
        }
        for (uint32_t a = 0; a != attributes; ++a) {
            uint32_t length;
            if (!r.skip(2) || !r.u4(length) || !r.skip(length)) {
                return false;
            }
        }
    }
    return true;
}

bool parseClass(const std::string& bytes, ModuleInfo& out) {
    Reader r(bytes);
    uint32_t magic, minor, major, flags, thisClass, interfaces;
    if (!r.u4(magic) || magic != 0xcafebabe || !r.u2(minor) || !r.u2(major) ||
        major < kFirstModuleMajor) {
        return false;
    }
    ConstantPool pool(bytes);
    std::string text;
    if (!pool.read(r) || !r.u2(flags) || !(flags & kAccModule) || !r.u2(thisClass) ||
        !pool.named(thisClass, Class, text) || text != "module-info" || !r.skip(2) ||
        !r.u2(interfaces) || !r.skip(size_t(interfaces) * 2) || !skipMembers(r) ||
        !skipMembers(r)) {
        return false;
    }
    uint32_t attributes;
    if (!r.u2(attributes)) {
        return false;
    }
    bool haveModule = false;
    for (uint32_t a = 0; a != attributes; ++a) {
        uint32_t nameIndex, length;
        if (!r.u2(nameIndex) || !r.u4(length) || !pool.utf8(nameIndex, text)) {
            return false;
        }
        Reader attribute(bytes);
        attribute.skip(r.position());
        if (!r.skip(length)) {
            return false;
        }
        uint32_t index;
        if (text == "Module") {
            if (length < 2 || !attribute.u2(index) || !pool.named(index, Module, out.name)) {
                return false;
            }
            haveModule = true;
        } else if (text == "ModuleMainClass") {
            if (length < 2 || !attribute.u2(index) || !pool.named(index, Class, out.mainClass)) {
                return false;
            }
            for (char& c : out.mainClass) {
                c = c == '/' ? '.' : c;
            }
        }
    }
    return haveModule;
}

} // namespace

bool ModuleInfo::parse(const std::string& bytes, ModuleInfo& out) {
    out = ModuleInfo();
    try {
        if (bytes.size() <= kMaxSize && parseClass(bytes, out)) {
            return true;
        }
    } catch (const std::bad_alloc&) {
    }
    out = ModuleInfo();
    return false;
}
