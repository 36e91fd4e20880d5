#include "editor/ScaleDialog.h"

#include "QtApplication.h"
#include "platform/Exception.h"
#include "widgets/FlatButton.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QPushButton>

#include <filesystem>

namespace {

struct Filled {
    explicit Filled(int width, int height) { dialog.SetPresentSize(width, height); }
    // Replaces the whole text, as selecting it and typing would.
    void Type(TLabeledEdit* edit, const char* text) { edit->setText(QString::fromLatin1(text)); }
    std::string Text(const TLabeledEdit* edit) const { return edit->text().toStdString(); }
    TfrmScale dialog;
};

}  // namespace

TEST(ScaleDialog, FillingShowsThePresentSizeAndEnablesOk) {
    Filled f(640, 480);
    EXPECT_EQ(f.Text(f.dialog.eOrigWidth), "640");
    EXPECT_EQ(f.Text(f.dialog.eOrigHeight), "480");
    EXPECT_EQ(f.dialog.NewWidth(), 640);
    EXPECT_EQ(f.dialog.NewHeight(), 480);
    EXPECT_EQ(f.dialog.FilterIndex(), 5);
    EXPECT_EQ(f.dialog.FilterBox->currentText(), QStringLiteral("Lanczos3"));
    EXPECT_TRUE(f.dialog.btnLock->Down());
    EXPECT_TRUE(f.dialog.btnOk->isEnabled());
    EXPECT_FALSE(TfrmScale().btnOk->isEnabled());
}

TEST(ScaleDialog, LockedDimensionsFollowRoundingTiesToEven) {
    Filled f(640, 480);
    for (auto [width, height] : {std::pair{"320", "240"}, {"100", "75"}, {"1", "1"}, {"2000000000", "1500000000"}}) {
        f.Type(f.dialog.eNewWidth, width);
        EXPECT_EQ(f.Text(f.dialog.eNewHeight), height) << width;
        EXPECT_EQ(f.Text(f.dialog.eNewWidth), width);
    }

    Filled g(3, 2);
    for (auto [width, height] : {std::pair{"3", "2"}, {"5", "3"}, {"9", "6"}}) {
        g.Type(g.dialog.eNewWidth, width);
        EXPECT_EQ(g.Text(g.dialog.eNewHeight), height) << width;
    }
    for (auto [height, width] : {std::pair{"1", "2"}, {"5", "8"}, {"3", "4"}}) {
        g.Type(g.dialog.eNewHeight, height);
        EXPECT_EQ(g.Text(g.dialog.eNewWidth), width) << height;
    }
}

TEST(ScaleDialog, ReleasedLockLeavesTheOtherFieldAlone) {
    Filled f(640, 480);
    f.dialog.btnLock->SetDown(false);
    f.Type(f.dialog.eNewWidth, "100");
    EXPECT_EQ(f.Text(f.dialog.eNewHeight), "480");
    f.Type(f.dialog.eNewHeight, "7");
    EXPECT_EQ(f.Text(f.dialog.eNewWidth), "100");
    EXPECT_TRUE(f.dialog.btnOk->isEnabled());
}

TEST(ScaleDialog, OkOnlyWithTwoDimensionsOfAtLeastOne) {
    Filled f(640, 480);
    f.Type(f.dialog.eNewWidth, "");
    EXPECT_EQ(f.Text(f.dialog.eNewHeight), "0");
    EXPECT_FALSE(f.dialog.btnOk->isEnabled());
    f.Type(f.dialog.eNewWidth, "64");
    EXPECT_TRUE(f.dialog.btnOk->isEnabled());

    f.dialog.btnLock->SetDown(false);
    f.Type(f.dialog.eNewHeight, "");
    EXPECT_FALSE(f.dialog.btnOk->isEnabled());
    f.Type(f.dialog.eNewHeight, "0");
    EXPECT_FALSE(f.dialog.btnOk->isEnabled());
    f.Type(f.dialog.eNewHeight, "1");
    EXPECT_TRUE(f.dialog.btnOk->isEnabled());
    // Beyond any picture dimension.
    f.Type(f.dialog.eNewWidth, "99999999999");
    EXPECT_FALSE(f.dialog.btnOk->isEnabled());

    // A present width of 1000 and a new width of 1 round the height to 0.
    Filled thin(1000, 1);
    thin.Type(thin.dialog.eNewWidth, "1");
    EXPECT_EQ(thin.Text(thin.dialog.eNewHeight), "0");
    EXPECT_FALSE(thin.dialog.btnOk->isEnabled());
}

TEST(ScaleDialog, OnlyDigitsGetIn) {
    Filled f(640, 480);
    f.dialog.eNewWidth->clear();
    for (QString text : {QStringLiteral("1"), QStringLiteral("x"), QStringLiteral("-"), QStringLiteral("2")}) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
        QApplication::sendEvent(f.dialog.eNewWidth, &key);
    }
    EXPECT_EQ(f.Text(f.dialog.eNewWidth), "12");
    // Pasted text is refused as a whole when it holds anything but digits.
    f.dialog.eNewWidth->insert(QStringLiteral("3a"));
    EXPECT_EQ(f.Text(f.dialog.eNewWidth), "12");
    f.dialog.eNewWidth->insert(QStringLiteral("34"));
    EXPECT_EQ(f.Text(f.dialog.eNewWidth), "1234");
    EXPECT_EQ(f.Text(f.dialog.eNewHeight), "926");
}

TEST(ScaleDialog, TextThatIsNoWholeNumberFailsOnReading) {
    Filled f(640, 480);
    f.dialog.btnLock->SetDown(false);
    f.dialog.eNewHeight->setText(QStringLiteral("1e3"));
    try {
        f.dialog.NewHeight();
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'1e3' is not a valid integer value");
    }
    EXPECT_FALSE(f.dialog.btnOk->isEnabled());
}

TEST(ScaleDialog, EnterMovesOnUntilOkTakesIt) {
    Filled f(640, 480);
    f.dialog.show();
    QApplication::setActiveWindow(&f.dialog);
    f.dialog.eNewWidth->setFocus();
    f.Type(f.dialog.eNewWidth, "");
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(f.dialog.eNewWidth, &enter);
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), f.dialog.eNewHeight);
    EXPECT_TRUE(f.dialog.isVisible());

    f.Type(f.dialog.eNewHeight, "48");
    QApplication::sendEvent(f.dialog.eNewHeight, &enter);
    QApplication::processEvents();
    EXPECT_FALSE(f.dialog.isVisible());
    EXPECT_EQ(f.dialog.result(), QDialog::Accepted);
    EXPECT_EQ(f.dialog.NewWidth(), 64);
}

TEST(ScaleDialog, ShowingAndClosingLeaveTheSettingsFileAlone) {
    {
        Filled f(640, 480);
        f.dialog.show();
        f.dialog.reject();
        EXPECT_EQ(f.dialog.result(), QDialog::Rejected);
    }
    EXPECT_FALSE(std::filesystem::exists(TEditorTestEnvironment::SettingsFile()));
}
