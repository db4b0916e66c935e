#include "about_box.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>

#include "resources.h"

namespace fernweave {

namespace {

QLabel* TextLabel(QWidget* parent, const QString& text, QRect place, Qt::Alignment align) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(place);
    label->setAlignment(align);
    label->setAttribute(Qt::WA_TranslucentBackground);
    // 11-pixel type where the desktop's font allows; smaller where the line would not fit.
    QFont font = label->font();
    for (int size = 11; size >= 7; --size) {
        font.setPixelSize(size);
        if (QFontMetrics(font).horizontalAdvance(text) <= place.width()) break;
    }
    label->setFont(font);
    return label;
}

}  // namespace

TfrmAbout::TfrmAbout(std::function<void(const QUrl&)> openUrl, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), openUrl_(std::move(openUrl)) {
    LoadProgramResources();
    setObjectName("frmAbout");
    setWindowTitle("About Fernweave");
    setFixedSize(380, 287);

    imgAbout = new QLabel(this);
    imgAbout->setObjectName("imgAbout");
    imgAbout->setGeometry(0, 0, 380, 287);
    imgAbout->setPixmap(QPixmap(":/ABOUT"));

    lblWeb = TextLabel(this, WebPageAddress, QRect(195, 15, 150, 13), Qt::AlignLeft | Qt::AlignVCenter);
    lblWeb->setObjectName("lblWeb");
    QFont underlined = lblWeb->font();
    underlined.setUnderline(true);
    lblWeb->setFont(underlined);
    lblWeb->setStyleSheet("color: #0000ff;");
    lblWeb->setCursor(ProgramCursor(TCursorId::Hand));

    lblOS = TextLabel(this, "for Microsoft Windows 95/98/ME/NT 4.0/2000/XP", QRect(124, 217, 244, 13), Qt::AlignCenter);
    lblOS->setObjectName("lblOS");
    lblNotice = TextLabel(this, "Free to use and to share under the MIT License.", QRect(46, 233, 318, 13),
                          Qt::AlignCenter);
    lblNotice->setObjectName("lblNotice");
    for (QLabel* l : {lblOS, lblNotice}) l->setStyleSheet("color: #000000;");

    for (QLabel* l : {imgAbout, lblWeb, lblOS, lblNotice}) l->installEventFilter(this);

    // One tick, about a second after creation, ends the splash.
    Timer1.setSingleShot(true);
    Timer1.setInterval(1000);
    connect(&Timer1, &QTimer::timeout, this, &TfrmAbout::Timer1Timer);
    Timer1.start();
}

void TfrmAbout::ShowModal() {
    // Asked for while the splash still shows: the splash gives way to the About box.
    Timer1.stop();
    if (isVisible()) hide();
    exec();
}

void TfrmAbout::imgAboutClick() { close(); }

void TfrmAbout::lblWebClick() {
    lblWeb->setStyleSheet("color: #008080;");  // visited
    if (openUrl_) openUrl_(QUrl(WebPageAddress));
}

void TfrmAbout::Timer1Timer() {
    Timer1.stop();
    if (isVisible()) close();
}

bool TfrmAbout::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        if (watched == lblWeb)
            lblWebClick();
        else
            imgAboutClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmAbout::mousePressEvent(QMouseEvent*) { imgAboutClick(); }

}  // namespace fernweave
