#include "ui/dialogs/AboutForm.h"

#include "platform/versionnote/VersionNote.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include <exception>

namespace mv::ui {

namespace {

// The banner across the top of the box.
QPixmap Banner(const QFont& font) {
    QPixmap pixmap(258, 92);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, 92);
    g.setColorAt(0, QColor(0x1f, 0x4e, 0x8c));
    g.setColorAt(1, QColor(0x0b, 0x2a, 0x52));
    p.fillRect(pixmap.rect(), g);
    // A clock face: the program runs reports on time.
    p.setPen(QPen(QColor(0xe8, 0xf0, 0xfa), 3));
    p.drawEllipse(QPointF(46, 46), 28, 28);
    p.drawLine(QPointF(46, 46), QPointF(46, 28));
    p.drawLine(QPointF(46, 46), QPointF(60, 52));
    QFont title = font;
    title.setPointSize(13);
    title.setBold(true);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRect(86, 18, 168, 56), Qt::AlignVCenter | Qt::AlignLeft | Qt::TextWordWrap,
               QStringLiteral("MV Rededor Izivivari"));
    return pixmap;
}

}  // namespace

TfmAbout::TfmAbout(QWidget* owner, std::string versionFile) : QDialog(owner), FVersionFile(std::move(versionFile)) {
    setWindowTitle(tr("About MV Rededor Izivivari"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(QFont(QStringLiteral("Arial"), 8));

    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::Panel);
    frame->setFrameShadow(QFrame::Sunken);
    auto* inner = new QVBoxLayout(frame);
    inner->setContentsMargins(8, 8, 8, 8);
    inner->setSpacing(6);
    imgBanner = new QLabel(frame);
    imgBanner->setFixedSize(258, 92);
    imgBanner->setPixmap(Banner(font()));
    inner->addWidget(imgBanner, 0, Qt::AlignHCenter);

    AppNameLabel = new QLabel(tr("MV VidUduzadev"), frame);
    QFont big = font();
    big.setPointSize(12);
    big.setBold(true);
    AppNameLabel->setFont(big);
    AppNameLabel->setAlignment(Qt::AlignCenter);
    inner->addWidget(AppNameLabel);

    auto* part = new QHBoxLayout;
    part->addStretch(1);
    part->addWidget(new QLabel(tr("Orvane Part No: "), frame));
    PartNumberLabel = new QLabel(QStringLiteral("XXXX-XXXX"), frame);
    part->addWidget(PartNumberLabel);
    part->addStretch(1);
    inner->addLayout(part);

    lblVersion = new QLabel(frame);
    lblVersion->setAlignment(Qt::AlignCenter);
    lblVersion->setWordWrap(true);
    inner->addWidget(lblVersion);
    inner->addStretch(1);

    btnOK = new QPushButton(tr("OK"), this);
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(frame, 1);
    layout->addWidget(btnOK, 0, Qt::AlignHCenter);
    setFixedSize(277, 240);
}

QString TfmAbout::BuildNumber(const std::string& fileVersion) {
    std::size_t pos = 0;
    for (int dots = 0; dots < 3; ++dots) {
        pos = fileVersion.find('.', pos);
        if (pos == std::string::npos) return {};
        ++pos;
    }
    return QString::fromStdString(fileVersion.substr(pos));
}

QString TfmAbout::VersionText(const TVersionInfo& info) {
    return QStringLiteral("Version ") + QString::fromStdString(info.ProductVersion) + QStringLiteral(" (Build ") +
           BuildNumber(info.FileVersion) + QStringLiteral(")");
}

void TfmAbout::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    try {
        lblVersion->setText(VersionText(ReadVersionNote(FVersionFile)));
    } catch (const std::exception& ex) {
        lblVersion->setText(tr("Version unknown: %1").arg(QString::fromUtf8(ex.what())));
    }
}

}  // namespace mv::ui
