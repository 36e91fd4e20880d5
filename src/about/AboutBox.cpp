#include "about/AboutBox.h"

#include "about/VersionInfo.h"

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
    return QStringLiteral("mailto:") + QString::fromUtf8(MakerMail) + QStringLiteral("?subject=\"About ") + title +
           QStringLiteral(" v. ") + version + QStringLiteral("\"");
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit Clicked();
}

TAboutDialog::TAboutDialog(const QString& title, QWidget* owner)
    : QDialog(owner), OpenLink(OpenWithDesktop), appTitle_(title) {
    setWindowTitle(QStringLiteral("About ") + title);
    setModal(true);

    title_ = new TLinkLabel(title, this);
    QFont bold = title_->font();
    bold.setPixelSize(16);
    bold.setBold(true);
    title_->setFont(bold);

    version_ = new QLabel(QStringLiteral("version: ") + FileVersionText(), this);

    auto* by = new QLabel(QStringLiteral("by: "), this);
    mail_ = new TLinkLabel(
        QString::fromUtf8(MakerName) + QStringLiteral(" <") + QString::fromUtf8(MakerMail) + QStringLiteral(">"), this);

    licence_ = new QPlainTextEdit(this);
    licence_->setReadOnly(true);
    licence_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    licence_->setPlainText(ExpandLicence(title));

    auto* visit = new QLabel(QStringLiteral("For more information and updates visit: "), this);
    web_ = new TLinkLabel(QString::fromUtf8(MakerSiteHost), this);

    close_ = new QPushButton(QStringLiteral("Close"), this);
    close_->setDefault(true);
    close_->setAutoDefault(true);

    for (TLinkLabel* link : {mail_, web_}) {
        QPalette blue = link->palette();
        blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
        link->setPalette(blue);
        link->setCursor(Qt::PointingHandCursor);
    }

    auto* byRow = new QHBoxLayout;
    byRow->setSpacing(0);
    byRow->addWidget(by);
    byRow->addWidget(mail_);
    byRow->addStretch();
    auto* bottomRow = new QHBoxLayout;
    bottomRow->setSpacing(0);
    bottomRow->addWidget(visit);
    bottomRow->addWidget(web_);
    bottomRow->addStretch();
    bottomRow->addWidget(close_);
    auto* column = new QVBoxLayout(this);
    column->setSpacing(4);
    column->addWidget(title_);
    column->addWidget(version_);
    column->addLayout(byRow);
    column->addWidget(licence_, 1);
    column->addLayout(bottomRow);

    // The box measures 296 × 231 dialog units: a quarter of the font's average character
    // width across and an eighth of its height down.
    const QFontMetrics metrics(font());
    const double across =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52.0;
    resize(static_cast<int>(296 * across / 4), 231 * metrics.height() / 8);

    connect(close_, &QPushButton::clicked, this, [this] { done(1); });
    connect(web_, &TLinkLabel::Clicked, this, [this] {
        if (OpenLink) OpenLink(QString::fromUtf8(MakerSite));
    });
    connect(mail_, &TLinkLabel::Clicked, this, [this] {
        if (OpenLink) OpenLink(MailLinkText(appTitle_, FileVersionText()));
    });
}

void TAboutDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    const QRect work = screen->availableGeometry();
    const QSize outer = frameGeometry().size();
    move(work.x() + (work.width() - outer.width()) / 2, work.y() + (work.height() - outer.height()) / 2);
}

void ShowAbout(QWidget* mainWindow) {
    TAboutDialog dialog(QGuiApplication::applicationDisplayName(), mainWindow);
    dialog.exec();
}
