#include "about/uAboutDialog.h"

#include "about/uVersionInfo.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>

const char* const MakerName = "Pixamo developers";
const char* const MakerMail = "pixamo@pixamo.org";
const char* const MakerSite = "https://pixamo.org";
const char* const MakerSiteHost = "pixamo.org";

namespace {

const char* const LicenceTemplate =
    "<%APPTITLE%> - resizing and touching up pictures\n"
    "Copyright (C) Pixamo developers\n"
    "\n"
    "Permission is hereby granted, free of charge, to any person obtaining a copy of "
    "<%APPTITLE%> and its documentation, to use, copy, modify, merge, publish and "
    "distribute it, and to permit persons to whom it is furnished to do so, provided that "
    "the above copyright notice and this permission notice are included in all copies or "
    "substantial portions of <%APPTITLE%>.\n"
    "\n"
    "<%APPTITLE%> IS PROVIDED \"AS IS\", WITHOUT WARRANTY OF ANY KIND, EXPRESS OR IMPLIED, "
    "INCLUDING BUT NOT LIMITED TO THE WARRANTIES OF MERCHANTABILITY, FITNESS FOR A "
    "PARTICULAR PURPOSE AND NONINFRINGEMENT. IN NO EVENT SHALL THE AUTHORS OR COPYRIGHT "
    "HOLDERS BE LIABLE FOR ANY CLAIM, DAMAGES OR OTHER LIABILITY, WHETHER IN AN ACTION OF "
    "CONTRACT, TORT OR OTHERWISE, ARISING FROM, OUT OF OR IN CONNECTION WITH THE SOFTWARE "
    "OR THE USE OR OTHER DEALINGS IN THE SOFTWARE.\n";

void OpenWithDesktop(const QString& link) {
    // No browser or mail program: nothing to tell the user.
    (void)QDesktopServices::openUrl(QUrl(link, QUrl::TolerantMode));
}

}  // namespace

QString ExpandLicence(const QString& title) {
    return QString::fromUtf8(LicenceTemplate).replace(QStringLiteral("<%APPTITLE%>"), title);
}

QString MailLinkText(const QString& title, const QString& version) {
    return QStringLiteral("mailto:") + QString::fromUtf8(MakerMail) +
           QStringLiteral("?subject=\"About ") + title + QStringLiteral(" v. ") + version +
           QStringLiteral("\"");
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit Clicked();
}

TAboutDialog::TAboutDialog(const QString& title, QWidget* owner)
    : QDialog(owner), OpenLink(OpenWithDesktop), AppTitle_(title) {
    setWindowTitle(QStringLiteral("About ") + title);
    setModal(true);

    Title_ = new TLinkLabel(title, this);
    QFont bold = Title_->font();
    bold.setPixelSize(16);
    bold.setBold(true);
    Title_->setFont(bold);

    Version_ = new QLabel(QStringLiteral("version: ") + FileVersionText(), this);

    auto* by = new QLabel(QStringLiteral("by: "), this);
    Mail_ = new TLinkLabel(QString::fromUtf8(MakerName) + QStringLiteral(" <") +
                               QString::fromUtf8(MakerMail) + QStringLiteral(">"),
                           this);

    Licence_ = new QPlainTextEdit(this);
    Licence_->setReadOnly(true);
    Licence_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Licence_->setPlainText(ExpandLicence(title));

    auto* visit = new QLabel(QStringLiteral("For more information and updates visit: "), this);
    Web_ = new TLinkLabel(QString::fromUtf8(MakerSiteHost), this);

    Close_ = new QPushButton(QStringLiteral("Close"), this);
    Close_->setDefault(true);
    Close_->setAutoDefault(true);

    for (TLinkLabel* link : {Mail_, Web_}) {
        QPalette blue = link->palette();
        blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
        link->setPalette(blue);
        link->setCursor(Qt::PointingHandCursor);
    }

    auto* byRow = new QHBoxLayout;
    byRow->setSpacing(0);
    byRow->addWidget(by);
    byRow->addWidget(Mail_);
    byRow->addStretch();
    auto* bottomRow = new QHBoxLayout;
    bottomRow->setSpacing(0);
    bottomRow->addWidget(visit);
    bottomRow->addWidget(Web_);
    bottomRow->addStretch();
    bottomRow->addWidget(Close_);
    auto* column = new QVBoxLayout(this);
    column->setSpacing(4);
    column->addWidget(Title_);
    column->addWidget(Version_);
    column->addLayout(byRow);
    column->addWidget(Licence_, 1);
    column->addLayout(bottomRow);

    // The box measures 296 × 231 dialog units: a quarter of the font's average character
    // width across and an eighth of its height down.
    const QFontMetrics metrics(font());
    const double across =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52.0;
    resize(static_cast<int>(296 * across / 4), 231 * metrics.height() / 8);

    connect(Close_, &QPushButton::clicked, this, [this] { done(1); });
    connect(Web_, &TLinkLabel::Clicked, this, [this] {
        if (OpenLink)
            OpenLink(QString::fromUtf8(MakerSite));
    });
    connect(Mail_, &TLinkLabel::Clicked, this, [this] {
        if (OpenLink)
            OpenLink(MailLinkText(AppTitle_, FileVersionText()));
    });
}

void TAboutDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect work = screen->availableGeometry();
    const QSize outer = frameGeometry().size();
    move(work.x() + (work.width() - outer.width()) / 2, work.y() + (work.height() - outer.height()) / 2);
}

void ShowAbout(QWidget* mainWindow) {
    TAboutDialog dialog(QGuiApplication::applicationDisplayName(), mainWindow);
    dialog.exec();
}
