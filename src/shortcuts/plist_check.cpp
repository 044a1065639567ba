#include "shortcuts/plist_check.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/utf8.h"

namespace velmor::shortcuts {

namespace {

constexpr std::string_view kMagic = "bplist00";
constexpr size_t kTrailerBytes = 32;

// Kinds of object, from the high four bits of an object's marker byte.
enum Kind : uint8_t {
    kSimple = 0x0,  // 0x08 false, 0x09 true; null and fill are not read by the parser
    kInteger = 0x1,
    kReal = 0x2,
    kDate = 0x3,
    kData = 0x4,
    kAsciiString = 0x5,
    kUtf16String = 0x6,
    kArray = 0xA,
    kDictionary = 0xD,
};

class Walker {
public:
    explicit Walker(std::string_view bytes) : bytes_(bytes) {}

    Result<void> check() {
        if (bytes_.size() < kMagic.size() + kTrailerBytes || bytes_.substr(0, kMagic.size()) != kMagic)
            return fail("the file is not a binary property list");
        const size_t trailer = bytes_.size() - kTrailerBytes;
        offsetSize_ = byteAt(trailer + 6);
        refSize_ = byteAt(trailer + 7);
        const uint64_t objectCount = bigEndian(trailer + 8, 8);
        const uint64_t top = bigEndian(trailer + 16, 8);
        const uint64_t tableStart = bigEndian(trailer + 24, 8);
        if (offsetSize_ < 1 || offsetSize_ > 8 || refSize_ < 1 || refSize_ > 8)
            return fail("the property list's trailer gives impossible sizes");
        // Everything is compared without multiplying untrusted numbers first, so that no
        // product wraps around.
        if (tableStart < kMagic.size() || tableStart > trailer || objectCount == 0 ||
            objectCount > (trailer - tableStart) / offsetSize_)
            return fail("the property list's offset table lies outside the file");
        if (top >= objectCount) return fail("the property list's top object does not exist");
        objectsEnd_ = static_cast<size_t>(tableStart);
        tableStart_ = static_cast<size_t>(tableStart);
        objectCount_ = static_cast<size_t>(objectCount);
        onPath_.assign(objectCount_, false);
        return object(static_cast<size_t>(top), 0);
    }

private:
    uint8_t byteAt(size_t at) const { return static_cast<uint8_t>(bytes_[at]); }

    // Callers have checked that [at, at + size) lies in the file.
    uint64_t bigEndian(size_t at, size_t size) const {
        uint64_t value = 0;
        for (size_t i = 0; i < size; ++i) value = value << 8 | byteAt(at + i);
        return value;
    }

    bool fits(size_t at, uint64_t size) const { return at <= objectsEnd_ && size <= objectsEnd_ - at; }

    // The count after a marker whose low four bits are 0xF: an integer object follows.
    // `at` moves past what was read.
    std::optional<uint64_t> count(uint8_t marker, size_t& at) const {
        if ((marker & 0x0F) != 0x0F) return marker & 0x0F;
        if (!fits(at, 1)) return std::nullopt;
        const uint8_t intMarker = byteAt(at);
        if ((intMarker & 0xF0) != 0x10 || (intMarker & 0x0F) > 3) return std::nullopt;
        const size_t size = size_t{1} << (intMarker & 0x0F);
        if (!fits(at + 1, size)) return std::nullopt;
        const uint64_t value = bigEndian(at + 1, size);
        at += 1 + size;
        return value;
    }

    Result<void> object(size_t index, int depth) {
        if (depth > kMaxPlistDepth) return fail("the property list is nested more than " + std::to_string(kMaxPlistDepth) + " deep");
        if (++visited_ > kMaxPlistObjects)
            return fail("the property list unfolds into more than " + std::to_string(kMaxPlistObjects) + " objects");
        const uint64_t offset = bigEndian(tableStart_ + index * offsetSize_, offsetSize_);
        if (offset < kMagic.size() || offset >= objectsEnd_) return fail("an object of the property list lies outside the file");
        size_t at = static_cast<size_t>(offset);
        const uint8_t marker = byteAt(at++);
        const uint8_t low = marker & 0x0F;
        switch (marker >> 4) {
        case kSimple:
            if (marker == 0x08 || marker == 0x09) return succeeded();
            break;
        case kInteger:
            if (low <= 4 && fits(at, size_t{1} << low)) return succeeded();
            return fail("an integer of the property list is cut off or too wide");
        case kReal:
            if ((low == 2 || low == 3) && fits(at, size_t{1} << low)) return succeeded();
            return fail("a real number of the property list is cut off or of a wrong size");
        case kDate:
            if (low == 3 && fits(at, 8)) return succeeded();
            return fail("a date of the property list is cut off or of a wrong size");
        case kData: {
            auto length = count(marker, at);
            if (length && fits(at, *length)) return succeeded();
            return fail("a data object of the property list is cut off");
        }
        case kAsciiString: return asciiString(marker, at);
        case kUtf16String: return utf16String(marker, at);
        case kArray: return container(index, marker, at, depth, false);
        case kDictionary: return container(index, marker, at, depth, true);
        default: break;
        }
        return fail("the property list holds an object of a kind shortcuts never hold");
    }

    Result<void> asciiString(uint8_t marker, size_t at) const {
        auto length = count(marker, at);
        if (!length || !fits(at, *length)) return fail("a string of the property list is cut off");
        for (size_t i = 0; i < *length; ++i) {
            const uint8_t byte = byteAt(at + i);
            if (byte == 0) return fail("a string of the property list holds a NUL character");
            if (byte > 0x7F) return fail("an ASCII string of the property list holds a byte that is not ASCII");
        }
        return succeeded();
    }

    Result<void> utf16String(uint8_t marker, size_t at) const {
        auto units = count(marker, at);
        if (!units || *units > objectsEnd_ / 2 || !fits(at, *units * 2)) return fail("a string of the property list is cut off");
        for (size_t i = 0; i < *units; ++i) {
            const uint16_t unit = static_cast<uint16_t>(bigEndian(at + 2 * i, 2));
            if (unit == 0) return fail("a string of the property list holds a NUL character");
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                const bool paired = i + 1 < *units && bigEndian(at + 2 * (i + 1), 2) >= 0xDC00 &&
                                    bigEndian(at + 2 * (i + 1), 2) <= 0xDFFF;
                if (!paired) return fail("a string of the property list is not well-formed UTF-16");
                ++i;
            } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
                return fail("a string of the property list is not well-formed UTF-16");
            }
        }
        return succeeded();
    }

    // An array's references, or a dictionary's key references followed by as many value
    // references.
    Result<void> container(size_t index, uint8_t marker, size_t at, int depth, bool dictionary) {
        auto entries = count(marker, at);
        const uint64_t references = entries && *entries <= objectsEnd_ ? *entries * (dictionary ? 2 : 1) : 0;
        if (!entries || *entries > objectsEnd_ || references > objectsEnd_ / refSize_ || !fits(at, references * refSize_))
            return fail("an array or dictionary of the property list is cut off");
        onPath_[index] = true;
        for (uint64_t i = 0; i < references; ++i) {
            const uint64_t child = bigEndian(at + i * refSize_, refSize_);
            if (child >= objectCount_) return fail("the property list refers to an object that does not exist");
            if (onPath_[child]) return fail("the property list refers back to an object that contains the reference");
            if (dictionary && i < *entries) {
                const uint64_t keyOffset = bigEndian(tableStart_ + child * offsetSize_, offsetSize_);
                const uint8_t kind = keyOffset < objectsEnd_ ? byteAt(static_cast<size_t>(keyOffset)) >> 4 : 0;
                if (kind != kAsciiString && kind != kUtf16String) return fail("a dictionary key of the property list is not a string");
            }
            VELMOR_RETURN_IF_FAILED(object(static_cast<size_t>(child), depth + 1));
        }
        onPath_[index] = false;
        return succeeded();
    }

    std::string_view bytes_;
    size_t offsetSize_ = 0, refSize_ = 0;
    size_t objectsEnd_ = 0, tableStart_ = 0, objectCount_ = 0;
    size_t visited_ = 0;
    std::vector<bool> onPath_;
};

}  // namespace

Result<void> checkBinaryPlist(std::string_view bytes) { return Walker(bytes).check(); }

Result<void> checkXmlPlist(const std::string& text) {
    if (text.find('\0') != std::string::npos) return fail("the property list holds a NUL character");
    if (scanUtf8(text, 0).validUpTo != text.size()) return fail("the file is not a property list");
    for (size_t at = text.find("&#"); at != std::string::npos; at = text.find("&#", at + 2)) {
        size_t digit = at + 2;
        const bool hex = digit < text.size() && (text[digit] == 'x' || text[digit] == 'X');
        if (hex) ++digit;
        uint64_t value = 0;
        size_t digits = 0;
        for (; digit < text.size() && digits < 16; ++digit, ++digits) {
            const char c = text[digit];
            int v = c >= '0' && c <= '9' ? c - '0' : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10 : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (v < 0) break;
            value = value * (hex ? 16 : 10) + static_cast<uint64_t>(v);
        }
        // Whatever the parser makes of a reference without digits, it is no character.
        if (digits == 0) continue;
        if (value == 0) return fail("the property list holds a NUL character");
        if ((value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF)
            return fail("the property list refers to a character that does not exist");
    }
    return succeeded();
}

}  // namespace velmor::shortcuts
