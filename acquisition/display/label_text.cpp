#include "acquisition/display/label_text.h"

#include <iconv.h>

#include <QStringDecoder>
#include <cstring>
#include <string>

namespace {

bool IsValidUtf8(const char* bytes, std::size_t size) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    (void)decoder.decode(QByteArrayView(bytes, static_cast<qsizetype>(size)));
    return !decoder.hasError();
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
    if (IsValidUtf8(label, size)) return QString::fromUtf8(label, static_cast<qsizetype>(size));
    return FromGbk(label, size);
}
