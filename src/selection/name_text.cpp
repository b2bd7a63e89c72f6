#include "selection/name_text.h"

#include "base/name_bytes.h"

#include <QDir>
#include <QStringDecoder>

namespace sheaf {

namespace {

constexpr char16_t kEscapeBase = 0xDC00; // byte b (0x80..0xFF) is U+DC00 + b

// Length of the well-formed UTF-8 sequence at `at`, or 0.
qsizetype sequenceAt(QByteArrayView bytes, qsizetype at)
{
    const auto lead = static_cast<unsigned char>(bytes[at]);
    const qsizetype length = lead < 0x80 ? 1
        : lead >= 0xC2 && lead <= 0xDF   ? 2
        : lead >= 0xE0 && lead <= 0xEF   ? 3
        : lead >= 0xF0 && lead <= 0xF4   ? 4
                                         : 0;
    if (length == 0 || at + length > bytes.size())
        return 0;
    const QByteArrayView piece = bytes.sliced(at, length);
    return isValidUtf8(std::string_view(piece.data(), size_t(piece.size()))) ? length : 0;
}

// The lone low surrogate at i stands for one byte.
bool isEscapedByte(QStringView name, qsizetype i)
{
    const char16_t c = name[i].unicode();
    if (c < kEscapeBase + 0x80 || c > kEscapeBase + 0xFF)
        return false;
    return i == 0 || !name[i - 1].isHighSurrogate();
}

void appendHex(QString &out, int byte)
{
    static const char16_t digits[] = u"0123456789ABCDEF";
    out += QStringLiteral("\\x");
    out += QChar(digits[byte >> 4]);
    out += QChar(digits[byte & 15]);
}

QString escapedText(QStringView name, bool doubleBackslash)
{
    QString out;
    out.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        if (isEscapedByte(name, i)) {
            appendHex(out, c - kEscapeBase);
        } else if (c == u'\n') {
            out += QStringLiteral("\\n");
        } else if (c == u'\t') {
            out += QStringLiteral("\\t");
        } else if (c == u'\r') {
            out += QStringLiteral("\\r");
        } else if (c < 0x20 || c == 0x7F) {
            appendHex(out, c);
        } else if ((c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029) {
            // C1 controls and the line and paragraph separators end a line
            // for some readers: shown as their UTF-8 bytes.
            for (const char byte : name.sliced(i, 1).toUtf8())
                appendHex(out, static_cast<unsigned char>(byte));
        } else if (c == u'\\' && doubleBackslash) {
            out += QStringLiteral("\\\\");
        } else {
            out += QChar(c);
        }
    }
    return out;
}

// UTF-8 to text, a leading U+FEFF kept: it is part of the name, not a mark
// (QString::fromUtf8 drops it, and the name would read as another file's).
QString utf8Text(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringConverter::Utf8,
        QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
}

} // namespace

QString nameFromBytes(QByteArrayView bytes)
{
    if (isValidUtf8(std::string_view(bytes.data(), size_t(bytes.size()))))
        return utf8Text(bytes);
    QString out;
    out.reserve(bytes.size());
    qsizetype run = 0; // start of the well-formed run being collected
    qsizetype i = 0;
    while (i < bytes.size()) {
        const qsizetype n = sequenceAt(bytes, i);
        if (n > 0) {
            i += n;
            continue;
        }
        out += utf8Text(bytes.sliced(run, i - run));
        out += QChar(char16_t(kEscapeBase + static_cast<unsigned char>(bytes[i])));
        run = ++i;
    }
    out += utf8Text(bytes.sliced(run));
    return out;
}

QByteArray nameBytes(QStringView name)
{
    QByteArray out;
    out.reserve(name.size());
    qsizetype run = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (!isEscapedByte(name, i))
            continue;
        out += name.sliced(run, i - run).toUtf8();
        out += char(name[i].unicode() - kEscapeBase);
        run = i + 1;
    }
    out += name.sliced(run).toUtf8();
    return out;
}

std::filesystem::path namePath(QStringView name)
{
#ifdef _WIN32
    return std::filesystem::path(name.toString().toStdU16String());
#else
    const QByteArray bytes = nameBytes(name);
    return std::filesystem::path(std::string(bytes.constData(), size_t(bytes.size())));
#endif
}

QString nameFromPath(const std::filesystem::path &path)
{
#ifdef _WIN32
    return QString::fromStdU16String(path.u16string());
#else
    const std::string &native = path.native();
    return nameFromBytes(QByteArrayView(native.data(), qsizetype(native.size())));
#endif
}

QString absoluteNameText(const QString &path)
{
    if (QDir::isAbsolutePath(path))
        return QDir::cleanPath(path);
    std::error_code ec;
    const std::filesystem::path here = std::filesystem::current_path(ec);
    if (ec || here.empty())
        return QString();
    return QDir::cleanPath(nameFromPath(here) + u'/' + path);
}

bool hasUnicodeForm(QStringView name)
{
    for (qsizetype i = 0; i < name.size(); ++i)
        if (isEscapedByte(name, i))
            return false;
    return true;
}

QString shownName(QStringView name)
{
    return escapedText(name, false);
}

QString listedName(QStringView name)
{
    return escapedText(name, true);
}

} // namespace sheaf
