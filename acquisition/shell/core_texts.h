#pragma once
// The signal core and the server say what went wrong in Chinese, as plain
// strings, free of Qt: "放大器打开失败: USB 串口 (未找到 USB 串口)". The
// window shows such a message in the interface language: each piece between
// ": ", " (" and ")" that is one of their texts is translated, numbers kept.
// Standard output and standard error keep them as they are.

#include <QString>

QString TranslatedCoreText(const QString& text);
