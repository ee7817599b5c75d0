#include "acquisition/display/label_text.h"

#include <iconv.h>

#include <cstring>
#include <string>

namespace {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF and
// no sequence cut off at the end.
bool IsValidUtf8(const unsigned char* bytes, std::size_t size) {
    std::size_t i = 0;
    while (i < size) {
        const unsigned char lead = bytes[i];
        if (lead < 0x80) {
            ++i;
            continue;
        }
        int length = 0;
        unsigned char low = 0x80, high = 0xBF;  // range of the second byte
        if (lead >= 0xC2 && lead <= 0xDF) length = 2;
        else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (size - i < static_cast<std::size_t>(length)) return false;
        if (bytes[i + 1] < low || bytes[i + 1] > high) return false;
        for (int k = 2; k < length; ++k)
            if (bytes[i + static_cast<std::size_t>(k)] < 0x80 || bytes[i + static_cast<std::size_t>(k)] > 0xBF) return false;
        i += static_cast<std::size_t>(length);
    }
    return true;
}

// iconv owns a descriptor per conversion; this keeps it closed on every path.
class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Iconv() {
        if (Valid()) iconv_close(cd_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool Valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const { return cd_; }

private:
    iconv_t cd_;
};

QString FromGbk(const char* bytes, std::size_t size) {
    Iconv converter("UTF-8", "GBK");
    if (!converter.Valid()) return {};
    std::string in(bytes, size);
    std::string out(size * 4 + 4, '\0');
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    while (inLeft > 0) {
        if (iconv(converter.Get(), &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1)) break;
        // An invalid or incomplete sequence: skip one byte and go on.
        ++inPtr;
        --inLeft;
    }
    return QString::fromUtf8(out.data(), static_cast<qsizetype>(out.size() - outLeft));
}

}  // namespace

QString LabelText(const char* label) {
    if (label == nullptr) return {};
    const std::size_t size = std::strlen(label);
    if (IsValidUtf8(reinterpret_cast<const unsigned char*>(label), size)) return QString::fromUtf8(label, static_cast<qsizetype>(size));
    return FromGbk(label, size);
}
