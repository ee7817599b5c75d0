#pragma once
// "关于 Vostrel": the icon, the program's name and version, and an OK button.

#include <QDialog>

class CAboutBox : public QDialog {
    Q_OBJECT

public:
    explicit CAboutBox(QWidget* parent = nullptr);
};
