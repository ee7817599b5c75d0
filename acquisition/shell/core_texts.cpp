#include "acquisition/shell/core_texts.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QStringList>

namespace {

constexpr const char* kContext = "CoreText";

// The pieces the core and the server put together, numbers as %1, %2, ...
// Listed here so that lupdate finds them; the core itself is not Qt's.
[[maybe_unused]] constexpr const char* kCoreTexts[] = {
    // acquisition/engine
    QT_TRANSLATE_NOOP("CoreText", "放大器打开失败"),
    QT_TRANSLATE_NOOP("CoreText", "数据文件打开失败"),
    QT_TRANSLATE_NOOP("CoreText", "数据写入失败"),
    QT_TRANSLATE_NOOP("CoreText", "放大器连接断开"),
    // acquisition/usb
    QT_TRANSLATE_NOOP("CoreText", "USB 放大器"),
    QT_TRANSLATE_NOOP("CoreText", "数据包大小 %1 超出放大器的数据帧"),
    QT_TRANSLATE_NOOP("CoreText", "导联数 %1 超出放大器的数据帧：数据包大小 %2 时最多 %3 导联"),
    QT_TRANSLATE_NOOP("CoreText", "无法打开"),
    QT_TRANSLATE_NOOP("CoreText", "无法设置波特率 %1"),
    QT_TRANSLATE_NOOP("CoreText", "放大器仿真器"),
    QT_TRANSLATE_NOOP("CoreText", "已拔出"),
    QT_TRANSLATE_NOOP("CoreText", "未打开"),
    QT_TRANSLATE_NOOP("CoreText", "USB 串口"),
    QT_TRANSLATE_NOOP("CoreText", "未找到 USB 串口"),
    QT_TRANSLATE_NOOP("CoreText", "没有这个设备"),
    QT_TRANSLATE_NOOP("CoreText", "设备已断开"),
    // acquisition/electrodes
    QT_TRANSLATE_NOOP("CoreText", "电极位置文件打开失败"),
    // acquisition/server
    QT_TRANSLATE_NOOP("CoreText", "正在监听"),
    QT_TRANSLATE_NOOP("CoreText", "已连接"),
    QT_TRANSLATE_NOOP("CoreText", "创建服务器失败"),
    QT_TRANSLATE_NOOP("CoreText", "监听失败"),
    QT_TRANSLATE_NOOP("CoreText", "初始化失败!"),
};

QString TranslatedPiece(const QString& piece) {
    static const QRegularExpression number(QStringLiteral("\\d+"));
    QStringList numbers;
    QString pattern;
    qsizetype last = 0;
    for (auto it = number.globalMatch(piece); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        numbers << match.captured();
        pattern += piece.mid(last, match.capturedStart() - last) + QLatin1Char('%') + QString::number(numbers.size());
        last = match.capturedEnd();
    }
    pattern += piece.mid(last);
    const QByteArray source = pattern.toUtf8();
    const QString translated = QCoreApplication::translate(kContext, source.constData());
    // Not one of the texts, or no translation: the piece as it came.
    if (translated == pattern) return piece;
    QString filled = translated;
    for (const QString& value : numbers) filled = filled.arg(value);
    return filled;
}

}  // namespace

QString TranslatedCoreText(const QString& text) {
    static const QRegularExpression separator(QStringLiteral(": | \\(|\\)"));
    QString shown;
    qsizetype last = 0;
    for (auto it = separator.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        shown += TranslatedPiece(text.mid(last, match.capturedStart() - last)) + match.captured();
        last = match.capturedEnd();
    }
    return shown + TranslatedPiece(text.mid(last));
}
