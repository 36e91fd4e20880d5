#include "widgets/QtTestEnvironment.h"

#include "about/AboutBox.h"
#include "about/VersionInfo.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

namespace {

void ClickLabel(QWidget* w) {
    const QPointF at(2, 2);
    QMouseEvent press(QEvent::MouseButtonPress, at, w->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QApplication::sendEvent(w, &release);
}

TEST(VersionTest, OwnExecutableCarriesTheBuildVersionAsFourNumbers) {
    const QString own = FileVersionText();
    EXPECT_EQ(own, FourPartVersion(QStringLiteral(PIXAMO_VERSION)));
    EXPECT_EQ(own.split(QLatin1Char('.')).size(), 4);
    EXPECT_EQ(FileVersionText(QCoreApplication::applicationFilePath()), own);
    // A file without version information, and one that does not exist.
    EXPECT_EQ(FileVersionText(QStringLiteral(PIXAMO_TEST_DATA_DIR "/../AboutTest.cpp")), QString());
    EXPECT_EQ(FileVersionText(QStringLiteral("/no/such/file.exe")), QString());
}

TEST(VersionTest, VersionsAreWrittenAsFourNumbers) {
    EXPECT_EQ(FourPartVersion(QStringLiteral("1.2.1.11")), QStringLiteral("1.2.1.11"));
    EXPECT_EQ(FourPartVersion(QStringLiteral("1.2")), QStringLiteral("1.2.0.0"));
    EXPECT_EQ(FourPartVersion(QStringLiteral("1.2.3.4.5")), QString());
    EXPECT_EQ(FourPartVersion(QStringLiteral("1.x")), QString());
    EXPECT_EQ(FourPartVersion(QStringLiteral("70000")), QString());
    EXPECT_EQ(FourPartVersion(QString()), QString());
}

TEST(AboutTextsTest, LicenceAndMailSubjectNameTheTitle) {
    const QString licence = ExpandLicence(QStringLiteral("Quuxview"));
    EXPECT_EQ(licence.count(QStringLiteral("Quuxview")), 4);
    EXPECT_FALSE(licence.contains(QStringLiteral("<%APPTITLE%>")));
    EXPECT_EQ(MailLinkText(QStringLiteral("Pixamo"), QStringLiteral("1.2.1.11")),
              QStringLiteral("mailto:pixamo@pixamo.org?subject=\"About Pixamo v. 1.2.1.11\""));
}

TEST(AboutDialogTest, ShowsTitleVersionAndLicence) {
    TAboutDialog dialog(QStringLiteral("Pixamo"));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("About Pixamo"));
    EXPECT_EQ(dialog.TitleLabel()->text(), QStringLiteral("Pixamo"));
    EXPECT_TRUE(dialog.TitleLabel()->font().bold());
    EXPECT_EQ(dialog.VersionLabel()->text(), QStringLiteral("version: ") + FileVersionText());
    EXPECT_EQ(dialog.LicenceEdit()->toPlainText(), ExpandLicence(QStringLiteral("Pixamo")));
    EXPECT_TRUE(dialog.LicenceEdit()->isReadOnly());
    EXPECT_EQ(dialog.CloseButton()->text(), QStringLiteral("Close"));
    EXPECT_TRUE(dialog.CloseButton()->isDefault());
}

TEST(AboutDialogTest, OnlyTheLinksShowThePointingHandInBlue) {
    TAboutDialog dialog(QStringLiteral("Pixamo"));
    EXPECT_NE(dialog.TitleLabel()->cursor().shape(), Qt::PointingHandCursor);
    for (QLabel* link : {static_cast<QLabel*>(dialog.MailLink()), static_cast<QLabel*>(dialog.WebLink())}) {
        EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
        EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    }
}

TEST(AboutDialogTest, LinksOpenTheSiteAndAMailWithTheSubject) {
    TAboutDialog dialog(QStringLiteral("Pixamo"));
    QStringList opened;
    dialog.OpenLink = [&](const QString& link) { opened << link; };
    ClickLabel(dialog.WebLink());
    ClickLabel(dialog.MailLink());
    ClickLabel(dialog.TitleLabel());
    ASSERT_EQ(opened.size(), 2);
    EXPECT_EQ(opened[0], QStringLiteral("https://pixamo.org"));
    EXPECT_EQ(opened[1], MailLinkText(QStringLiteral("Pixamo"), FileVersionText()));
}

TEST(AboutDialogTest, OpensCentredAndCloseEndsIt) {
    TAboutDialog dialog(QStringLiteral("Pixamo"));
    QPoint centre;
    QTimer::singleShot(0, &dialog, [&] {
        centre = dialog.frameGeometry().center();
        dialog.CloseButton()->click();
    });
    EXPECT_EQ(dialog.exec(), 1);
    const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE(std::abs(centre.x() - work.center().x()), 1);
    EXPECT_LE(std::abs(centre.y() - work.center().y()), 1);

    QTimer::singleShot(0, &dialog, [&] { dialog.close(); });
    EXPECT_EQ(dialog.exec(), 0);
}

TEST(AboutDialogTest, ShowAboutTakesTheApplicationTitle) {
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Pixamo"));
    QWidget owner;
    QString caption;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<TAboutDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        caption = dialog->windowTitle();
        EXPECT_EQ(dialog->parentWidget(), &owner);
        dialog->reject();
    });
    ShowAbout(&owner);
    EXPECT_EQ(caption, QStringLiteral("About Pixamo"));
}

}  // namespace
