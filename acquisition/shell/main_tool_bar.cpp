#include "acquisition/shell/main_tool_bar.h"

#include <QAction>
#include <QBitmap>

#include "acquisition/shell/toolbar_images.h"

MainToolBar::MainToolBar(QWidget* parent) : QToolBar(parent), loader_(LoadBitmapResource) {
    setIconSize(QSize(bitmap::kImageSize, bitmap::kImageSize));
}

std::vector<QPixmap> MainToolBar::BuildImageList(const QImage& bitmap, int imageWidth) {
    if (bitmap.isNull() || imageWidth <= 0 || bitmap.width() < imageWidth) return {};
    const QImage pixels = bitmap.convertToFormat(QImage::Format_RGB888);
    // The first pixel in memory is the top-left one; its colour is the transparent one.
    const QRgb transparent = pixels.pixel(0, 0);
    const int count = pixels.width() / imageWidth;
    std::vector<QPixmap> images;
    images.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const QImage cut = pixels.copy(i * imageWidth, 0, imageWidth, pixels.height());
        QPixmap image = QPixmap::fromImage(cut);
        image.setMask(QBitmap::fromImage(cut.createMaskFromColor(transparent, Qt::MaskInColor)));
        images.push_back(std::move(image));
    }
    return images;
}

bool MainToolBar::SetTrueColorImages(int imageWidth, int normalId, int hotId, int disabledId) {
    const struct {
        int id;
        QIcon::Mode mode;
    } lists[] = {{normalId, QIcon::Normal}, {hotId, QIcon::Active}, {disabledId, QIcon::Disabled}};
    for (const auto& list : lists) {
        if (list.mode == QIcon::Disabled && list.id == 0) break;
        auto images = BuildImageList(loader_(list.id), imageWidth);
        if (images.empty()) return false;
        Install(list.mode, std::move(images));
    }
    return true;
}

void MainToolBar::Install(QIcon::Mode mode, std::vector<QPixmap> images) {
    switch (mode) {
    case QIcon::Normal: normal_ = std::move(images); break;
    case QIcon::Active: hot_ = std::move(images); break;
    default: disabled_ = std::move(images); break;
    }
    ApplyIcons();
}

const std::vector<QPixmap>& MainToolBar::Images(QIcon::Mode mode) const {
    switch (mode) {
    case QIcon::Normal: return normal_;
    case QIcon::Active: return hot_;
    default: return disabled_;
    }
}

void MainToolBar::UsePlaceholderImages() {
    // The toolbar resource's own images: narrow blank tiles.
    QPixmap placeholder(5, 27);
    placeholder.fill(QColor(212, 208, 200));
    for (QAction* action : actions()) {
        if (action->isSeparator()) continue;
        action->setIcon(QIcon(placeholder));
        action->setIconVisibleInMenu(false);
    }
}

void MainToolBar::ApplyIcons() {
    std::size_t button = 0;
    for (QAction* action : actions()) {
        if (action->isSeparator()) continue;
        QIcon icon;
        if (button < normal_.size()) icon.addPixmap(normal_[button], QIcon::Normal);
        if (button < hot_.size()) icon.addPixmap(hot_[button], QIcon::Active);
        if (button < disabled_.size()) icon.addPixmap(disabled_[button], QIcon::Disabled);
        if (!icon.isNull()) action->setIcon(icon);
        action->setIconVisibleInMenu(false);
        ++button;
    }
}
