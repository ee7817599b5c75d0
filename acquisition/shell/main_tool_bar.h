#pragma once
// The main window's toolbar. Its image operation replaces the buttons'
// placeholder images by the three strips: normal, hot (under the pointer) and
// disabled, each cut into images of one width from the left.

#include <QIcon>
#include <QPixmap>
#include <QToolBar>
#include <functional>
#include <vector>

class MainToolBar : public QToolBar {
    Q_OBJECT

public:
    // Supplies a bitmap by resource id; a null image when there is none.
    using BitmapLoader = std::function<QImage(int id)>;

    explicit MainToolBar(QWidget* parent = nullptr);

    void SetBitmapLoader(BitmapLoader loader) { loader_ = std::move(loader); }

    // Builds and installs the normal list, then the hot list, then the
    // disabled one if disabledId is not 0. Fails at the first list that cannot
    // be built; the lists installed before it stay.
    bool SetTrueColorImages(int imageWidth, int normalId, int hotId, int disabledId);

    // Gives every button the placeholder image the toolbar starts with.
    void UsePlaceholderImages();

    // The installed images of the buttons, left to right, for one icon mode.
    const std::vector<QPixmap>& Images(QIcon::Mode mode) const;

    // The cut images of one bitmap, masked by the colour of its first pixel;
    // empty when the bitmap cannot be loaded or cut.
    static std::vector<QPixmap> BuildImageList(const QImage& bitmap, int imageWidth);

private:
    void Install(QIcon::Mode mode, std::vector<QPixmap> images);
    void ApplyIcons();

    BitmapLoader loader_;
    std::vector<QPixmap> normal_;
    std::vector<QPixmap> hot_;
    std::vector<QPixmap> disabled_;
};
