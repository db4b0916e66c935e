#include "entry_chooser.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QVBoxLayout>
#include <cmath>

#include "solver.h"

namespace fernweave {

namespace {

constexpr int PreviewSide = 64;
constexpr int PreviewSteps = 20000;

}  // namespace

QImage EntryPreview(const DesignFile& file, std::size_t index, int side) {
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(Qt::black);
    std::string error;
    // Fitted into the preview as into a canvas; a chaos game of its own, the generator from 0.
    const auto object = file.Open(index, side, side, TIfsObject{}, error);
    if (!object) return image;
    const int n = object->MapCount;
    std::uint32_t state = 0;
    double x = object->BaseTriangle[0].x, y = object->BaseTriangle[0].y;
    for (int step = 0; step < PreviewSteps; ++step) {
        state = NextRandomState(state);
        const int k = ChooseMapForState(object->Maps, n, state);
        const auto p = Affine::Of(object->Maps[k]).Apply(x, y);
        x = p[0];
        y = p[1];
        if (!(std::isfinite(x) && std::isfinite(y))) break;
        const auto px = std::lround(x), py = std::lround(y);
        if (step > 20 && px >= 0 && py >= 0 && px < side && py < side) {
            const TColor c = object->Maps[k].Color;
            image.setPixel(static_cast<int>(px), static_cast<int>(py), qRgb(RedOf(c), GreenOf(c), BlueOf(c)));
        }
    }
    return image;
}

TfrmChooseEntry::TfrmChooseEntry(const DesignFile& file, const QString& fileName, QWidget* parent) : QDialog(parent) {
    setWindowTitle("Choose a Design");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QFileInfo(fileName).fileName() + " holds several designs; choose one to import:", this));
    list_ = new QListWidget(this);
    list_->setObjectName("lstEntries");
    list_->setIconSize(QSize(PreviewSide, PreviewSide));
    const auto listing = file.List();
    for (std::size_t i = 0; i < listing.size(); ++i) {
        const DesignListing& e = listing[i];
        const QString text = QString::fromStdString(e.Name) + "\n" + QString::number(e.MapCount) +
                             (e.MapCount == 1 ? " map, " : " maps, ") + QString::fromStdString(e.Kind);
        auto* item = new QListWidgetItem(QIcon(QPixmap::fromImage(EntryPreview(file, i, PreviewSide))), text, list_);
        item->setData(Qt::UserRole, static_cast<qulonglong>(i));
    }
    list_->setCurrentRow(0);
    layout->addWidget(list_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    resize(360, 420);
}

std::optional<std::size_t> TfrmChooseEntry::Chosen() const {
    if (result() != QDialog::Accepted || !list_->currentItem()) return std::nullopt;
    return static_cast<std::size_t>(list_->currentItem()->data(Qt::UserRole).toULongLong());
}

}  // namespace fernweave
