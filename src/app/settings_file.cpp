// "kwSheaf.ini": read as a stream of fields taken two at a time (key, value),
// written as one "key,value" line per setting in a fixed order. Code page 932
// is the file's encoding; a value without a code-page-932 form makes the
// whole file UTF-8 with a byte-order mark, and the reader accepts both.

#include "app/settings_file.h"

#include "archiver/archiver_facts.h"
#include "base/cp932.h"
#include "base/file.h"
#include "base/platform.h"
#include "selection/name_text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace sheaf {

namespace {

const QString kSelectCheck = QStringLiteral("抽出チェック");
const QString kOutputCheck = QStringLiteral("出力チェック");
const QString kNameCheck = QStringLiteral("名前チェック");
const QString kTogetherCheck = QStringLiteral("一緒チェック");
const QString kSelectFolder = QStringLiteral("抽出フォルダ");
const QString kOutputFolder = QStringLiteral("出力フォルダ");
const QString kExtension = QStringLiteral("識別子");
const QString kArchiver = QStringLiteral("アーカイバ");
const QString kTop = QStringLiteral("上位置");
const QString kLeft = QStringLiteral("左位置");

const QByteArray kBom("\xEF\xBB\xBF");

// The field rule: skip spaces; a field in double quotes runs to the next
// quote, any other to the next comma or line end. The delimiter after a
// field is consumed with it.
class FieldReader
{
public:
    explicit FieldReader(const QString &text)
        : m_text(text)
    {
    }

    // Blank lines between settings are passed over; true when nothing is left.
    bool atEndBeforeKey()
    {
        while (m_pos < m_text.size()
            && (m_text[m_pos] == u' ' || m_text[m_pos] == u'\r' || m_text[m_pos] == u'\n'))
            ++m_pos;
        return m_pos >= m_text.size();
    }

    // False when the text ends before a field starts or inside a quoted field.
    bool next(QString &field)
    {
        while (m_pos < m_text.size() && m_text[m_pos] == u' ')
            ++m_pos;
        if (m_pos >= m_text.size())
            return false;
        if (m_text[m_pos] == u'"') {
            const qsizetype close = m_text.indexOf(u'"', m_pos + 1);
            if (close < 0)
                return false;
            field = m_text.mid(m_pos + 1, close - m_pos - 1);
            m_pos = close + 1;
            // Whatever stands between the closing quote and the delimiter is dropped.
            while (m_pos < m_text.size() && !isDelimiter(m_text[m_pos]))
                ++m_pos;
        } else {
            const qsizetype start = m_pos;
            while (m_pos < m_text.size() && !isDelimiter(m_text[m_pos]))
                ++m_pos;
            field = m_text.mid(start, m_pos - start);
        }
        consumeDelimiter();
        return true;
    }

private:
    static bool isDelimiter(QChar c) { return c == u',' || c == u'\r' || c == u'\n'; }

    void consumeDelimiter()
    {
        if (m_pos >= m_text.size())
            return;
        if (m_text[m_pos] == u'\r') {
            ++m_pos;
            if (m_pos < m_text.size() && m_text[m_pos] == u'\n')
                ++m_pos;
        } else {
            ++m_pos; // ',' or '\n'
        }
    }

    const QString &m_text;
    qsizetype m_pos = 0;
};

// The longest decimal number at the start of `text` (spaces already gone):
// sign, digits, a decimal point, an exponent. Returns the characters used.
qsizetype leadingNumber(const QString &text, double &value)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto isDigit = [&](qsizetype at) {
        return at < n && text[at] >= u'0' && text[at] <= u'9';
    };
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    qsizetype digits = 0;
    while (isDigit(i)) {
        ++i;
        ++digits;
    }
    if (i < n && text[i] == u'.') {
        ++i;
        while (isDigit(i)) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0;
    qsizetype end = i;
    if (i < n && (text[i] == u'e' || text[i] == u'E' || text[i] == u'd' || text[i] == u'D')) {
        qsizetype j = i + 1;
        if (j < n && (text[j] == u'+' || text[j] == u'-'))
            ++j;
        if (isDigit(j)) {
            while (isDigit(j))
                ++j;
            end = j;
        }
    }
    QByteArray latin = text.left(end).toLatin1();
    for (char &c : latin) {
        if (c == 'd' || c == 'D')
            c = 'e';
    }
    if (latin.startsWith('+'))
        latin.remove(0, 1);
    const auto result = std::from_chars(latin.constData(), latin.constData() + latin.size(), value);
    if (result.ec == std::errc::result_out_of_range)
        value = HUGE_VAL; // caught as not finite by the callers
    return end;
}

QString withoutSpaces(const QString &text)
{
    QString out = text;
    out.remove(u' ');
    return out;
}

// A field's numeric value: the number at its start, spaces ignored, 0 when
// there is none. False only when the number is too large to hold.
bool numericValue(const QString &field, double &value)
{
    value = 0;
    leadingNumber(withoutSpaces(field), value);
    return std::isfinite(value);
}

// A switch value: the whole field a number that rounds (halves to even) to 0, 1 or 2.
bool switchValue(const QString &field, int &value)
{
    const QString text = field.trimmed();
    double number = 0;
    if (text.isEmpty() || leadingNumber(text, number) != text.size() || !std::isfinite(number))
        return false;
    const double rounded = std::nearbyint(number);
    if (rounded != 0 && rounded != 1 && rounded != 2)
        return false;
    value = int(rounded);
    return true;
}

QString decode(const QByteArray &bytes)
{
    if (bytes.startsWith(kBom))
        return QString::fromUtf8(bytes.constData() + kBom.size(), bytes.size() - kBom.size());
    const std::string utf8 = sheaf::cp932ToUtf8(std::string_view(bytes.constData(), bytes.size()));
    return QString::fromStdString(utf8);
}

void applyDefaults(Settings &s, const QString &currentDir)
{
    QString dir = currentDir;
    while (dir.size() > 1 && dir.endsWith(u'/'))
        dir.chop(1);
    s.selectFolder = dir;
    s.outputFolder = dir;
    s.extensions << QStringLiteral(".TXT") << QStringLiteral(".EXE");
    s.extensionText = QStringLiteral(".TXT");
    s.archiver = ArchiverKind::Lzh;
    // On then off, in this order: the window replays it so each handler runs.
    s.chkSelect = s.chkOutput = s.chkName = s.chkTogether = 0;
}

// Numbers as the tool prints them: a space or the minus sign before, one
// space after; whole numbers without a fraction, others with a full stop.
QString numberText(double value)
{
    if (!std::isfinite(value) || value == 0)
        value = 0; // also turns -0 into 0
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    QString digits = QString::fromLatin1(buffer, result.ptr - buffer);
    return (value < 0 ? QString() : QStringLiteral(" ")) + digits + u' ';
}

// A value the field rule would not give back as it is goes in double
// quotes. A value that needs quotes and holds one cannot be written at all.
std::optional<QString> valueText(const QString &value)
{
    const bool needsQuotes = value.contains(u',') || value.contains(u'\r') || value.contains(u'\n')
        || value.startsWith(u' ') || value.startsWith(u'"');
    if (!needsQuotes)
        return value;
    if (value.contains(u'"'))
        return std::nullopt;
    return u'"' + value + u'"';
}

void addLine(QString &out, const QString &key, const QString &value)
{
    out += key;
    out += u',';
    out += value;
    out += QStringLiteral("\r\n");
}

void addTextLine(QString &out, const QString &key, const QString &value)
{
    if (const auto text = valueText(value))
        addLine(out, key, *text);
}

} // namespace

IniLoadResult parseSettings(
    const QByteArray *content, Settings &settings, const QString &currentDir)
{
    if (!content) {
        applyDefaults(settings, currentDir);
        return IniLoadResult::DefaultsApplied;
    }
    const QString text = decode(*content);
    FieldReader reader(text);
    const auto fail = [&] {
        applyDefaults(settings, currentDir);
        return IniLoadResult::DefaultsApplied;
    };
    bool anySetting = false;
    int extensionLines = 0;
    while (!reader.atEndBeforeKey()) {
        QString key, value;
        if (!reader.next(key) || !reader.next(value))
            return fail();
        static const QString keys[] {kSelectCheck, kOutputCheck, kNameCheck, kTogetherCheck,
            kSelectFolder, kOutputFolder, kExtension, kArchiver, kTop, kLeft};
        anySetting
            = anySetting || std::find(std::begin(keys), std::end(keys), key) != std::end(keys);
        if (key == kSelectFolder) {
            settings.selectFolder = value;
        } else if (key == kOutputFolder) {
            settings.outputFolder = value;
        } else if (key == kExtension) {
            if (++extensionLines <= MaxExtensionLines)
                settings.extensions.append(value);
        } else if (key == kArchiver) {
            if (const auto *facts = sheaf::archiver::archiverWithSettingsToken(value.toStdString()))
                settings.archiver = facts->kind;
        } else if (key == kSelectCheck || key == kOutputCheck || key == kNameCheck
            || key == kTogetherCheck) {
            int v = 0;
            if (!switchValue(value, v))
                return fail();
            int &target = key == kSelectCheck ? settings.chkSelect
                : key == kOutputCheck         ? settings.chkOutput
                : key == kNameCheck           ? settings.chkName
                                              : settings.chkTogether;
            target = v;
        } else if (key == kTop || key == kLeft) {
            double v = 0;
            if (!numericValue(value, v))
                return fail();
            // A position read before a failure stays where it was put.
            (key == kTop ? settings.top : settings.left) = v;
            settings.positionRead = true;
        }
    }
    if (!anySetting)
        return fail();
    settings.extensionText = settings.extensions.value(0);
    if (settings.top < 0 || settings.left < 0)
        settings.top = settings.left = 0;
    return IniLoadResult::FileApplied;
}

QByteArray serializeSettings(const Settings &settings)
{
    QString text;
    addLine(text, kSelectCheck, numberText(settings.chkSelect));
    addLine(text, kOutputCheck, numberText(settings.chkOutput));
    addLine(text, kNameCheck, numberText(settings.chkName));
    addLine(text, kTogetherCheck, numberText(settings.chkTogether));
    addTextLine(text, kSelectFolder, settings.selectFolder);
    addTextLine(text, kOutputFolder, settings.outputFolder);
    for (const QString &ext : settings.extensions) {
        if (!ext.isEmpty())
            addTextLine(text, kExtension, ext);
    }
    if (settings.archiver) {
        const std::string_view token
            = sheaf::archiver::archiverFacts(*settings.archiver).settingsToken;
        addLine(text, kArchiver, QString::fromLatin1(token.data(), qsizetype(token.size())));
    }
    addLine(text, kTop, numberText(settings.top));
    addLine(text, kLeft, numberText(settings.left));

    const QByteArray utf8 = text.toUtf8();
    if (auto cp932 = sheaf::utf8ToCp932(std::string_view(utf8.constData(), utf8.size())))
        return QByteArray(cp932->data(), qsizetype(cp932->size()));
    return kBom + utf8;
}

QString settingsPathIn(
    const QString &programFolder, bool programFolderWritable, const QString &configFolder)
{
    const QString beside = programFolder + QStringLiteral("/kwSheaf.ini");
    if (programFolderWritable || QFileInfo::exists(beside))
        return beside;
    return configFolder + QStringLiteral("/kwSheaf.ini");
}

QString settingsPath()
{
    const QString program = QString::fromStdString(sheaf::platform::programFolder().string());
    // A program installed for every user (under /usr) keeps one file per
    // user, also when run by root, who could write beside it.
    const bool sharedInstall = program.startsWith(QLatin1String("/usr/"));
    return settingsPathIn(program, !sharedInstall && QFileInfo(program).isWritable(),
        QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
}

IniLoadResult IniLoad(const QString &path, Settings &settings, const QString &currentDir)
{
    // Only a regular file, opened without waiting (a named pipe would hold
    // start-up until someone writes to it) and read no further than a file
    // of this tool can reach: a device or a huge file gives the defaults.
    File file = File::openForReading(namePath(path), File::Links::Follow);
    if (!file || !file.facts().isRegular || file.facts().size > MaxSettingsBytes)
        return parseSettings(nullptr, settings, currentDir);
    QByteArray content(qsizetype(MaxSettingsBytes) + 1, Qt::Uninitialized);
    qsizetype got = 0;
    while (got < content.size()) {
        const ptrdiff_t n = file.read(content.data() + got, size_t(content.size() - got));
        if (n < 0)
            return parseSettings(nullptr, settings, currentDir);
        if (n == 0)
            break;
        got += n;
    }
    if (got > qsizetype(MaxSettingsBytes)) // it grew since it was looked at
        return parseSettings(nullptr, settings, currentDir);
    content.truncate(got);
    return parseSettings(&content, settings, currentDir);
}

bool IniSave(const QString &path, const Settings &settings)
{
    // A symbolic link in the file's place is written through only when it
    // is the user's own and leads to a file of the user's: a link to
    // another user's file (or nowhere) would have that file replaced by
    // ours, or a new one made wherever it points.
    QString target = path;
    const platform::FileFacts place = platform::fileFacts(namePath(path), false);
    if (place.error == 0 && place.isLink) {
        target = QFileInfo(path).canonicalFilePath();
        if (!place.ownedByCurrentUser || target.isEmpty()
            || !platform::fileFacts(namePath(target), false).ownedByCurrentUser)
            return false;
    }
    // Something else in the file's place (a named pipe, a link to a device)
    // is left alone: it would be replaced, or written into.
    const platform::FileFacts facts = platform::fileFacts(namePath(target), false);
    if (facts.error == 0 && !facts.isRegular)
        return false;
    QDir().mkpath(QFileInfo(target).absolutePath());
    // QSaveFile writes a temporary file beside the target and renames it
    // over the old file only once everything is on disk. Unbuffered, so that
    // a write that fails (a full disk) is seen before the rename: buffered,
    // the failure surfaces only at the commit, which then puts the short
    // temporary file in place of the old settings. A folder that takes no
    // new file (a read-only program folder with a writable file in it) has
    // the file written in place.
    QSaveFile file(target);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    const QByteArray bytes = serializeSettings(settings);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

QPoint placeOnScreens(const QRect &frame, const QList<QRect> &screens)
{
    const QRect *best = nullptr;
    qint64 bestOverlap = 0, bestDistance = 0;
    // Enough of the title bar to take hold of it.
    const QRect grip(
        frame.topLeft(), QSize(std::min(frame.width(), 100), std::min(frame.height(), 23)));
    for (const QRect &screen : screens) {
        if (screen.contains(grip))
            return frame.topLeft();
        const QRect common = screen.intersected(frame);
        const qint64 overlap = common.isEmpty() ? 0 : qint64(common.width()) * common.height();
        const QPoint gap = screen.center() - frame.center();
        const qint64 distance = qint64(gap.x()) * gap.x() + qint64(gap.y()) * gap.y();
        if (!best || overlap > bestOverlap || (overlap == bestOverlap && distance < bestDistance)) {
            best = &screen;
            bestOverlap = overlap;
            bestDistance = distance;
        }
    }
    if (!best)
        return frame.topLeft();
    // Inside the screen, the top-left corner first when the window is larger.
    const int x = std::max(best->left(), std::min(frame.left(), best->right() + 1 - frame.width()));
    const int y = std::max(best->top(), std::min(frame.top(), best->bottom() + 1 - frame.height()));
    return QPoint(x, y);
}

QList<QPoint> cascadeOnScreens(const QRect &frame, int count, const QList<QRect> &screens)
{
    const int spread = CascadeStep * std::max(0, count - 1);
    const QPoint origin = placeOnScreens(frame.adjusted(0, 0, spread, spread), screens);
    QList<QPoint> places;
    for (int i = 0; i < count; ++i)
        places << origin + QPoint(i * CascadeStep, i * CascadeStep);
    return places;
}

void chooseArchiverAtStartup(Settings &settings)
{
    settings.archiver = effectiveArchiver(settings.archiver);
}

} // namespace sheaf
