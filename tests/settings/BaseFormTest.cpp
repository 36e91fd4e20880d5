#include "settings/BaseForm.h"

#include "TempFolder.h"
#include "settings/OkCancelForm.h"
#include "settings/SettingsFile.h"
#include "widgets/QtTestEnvironment.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include <filesystem>
#include <memory>
#include <vector>

namespace {

// A window of its own name with the settings file in a fresh folder and failures recorded.
class FormsTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetFormSettingsFileName(SettingsFile);
        PreviousHandler = SetExceptionHandler([this](const std::exception& e) { Errors.push_back(e.what()); });
    }
    void TearDown() override {
        SetExceptionHandler(PreviousHandler);
        SetFormSettingsFileName({});
    }

    static std::unique_ptr<TfrmBaseForm> NewForm(const char* name = "frmTest") {
        auto form = std::make_unique<TfrmBaseForm>();
        form->setObjectName(QString::fromLatin1(name));
        return form;
    }

    // The entries of a window's "settings" group, by name and in file order.
    std::vector<std::string> EntryNames(const std::string& path = "tableViews\\frmTest\\settings") {
        TXMLDataBase store(SettingsFile, InitialSettingsText);
        std::vector<std::string> names;
        for (const auto& node : TXMLDataBase::ForcePath(store.DataRoot(), path)->Nodes()) names.push_back(node->Name());
        return names;
    }
    std::string Entry(const std::string& name, const std::string& path = "tableViews\\frmTest") {
        TXMLDataBase store(SettingsFile, InitialSettingsText);
        return store.ReadNodeSetting(TXMLDataBase::ForcePath(store.DataRoot(), path), name, "<none>").AsString();
    }
    void WriteEntries(const std::vector<std::pair<std::string, TVariant>>& entries) {
        TXMLDataBase store(SettingsFile, InitialSettingsText);
        TXmlNode* node = TXMLDataBase::ForcePath(store.DataRoot(), "tableViews\\frmTest");
        for (const auto& [name, value] : entries) store.WriteNodeSetting(node, name, value);
        store.Save();
    }

    TTempFolder Folder;
    std::string SettingsFile = Folder / "pixamo.xdb";
    std::vector<std::string> Errors;
    TExceptionHandler PreviousHandler;
};

}  // namespace

TEST_F(FormsTest, FirstShowingCreatesTheFileAndClosingWritesThePlacement) {
    auto form = NewForm();
    EXPECT_EQ(form->size(), QSize(588, 419));
    form->show();
    EXPECT_EQ(ReadBytes(SettingsFile), "<dataroot />\r\n<lists />\r\n<settings />\r\n");
    EXPECT_TRUE(form->OwnsStore());
    form->move(40, 50);
    form->resize(300, 200);
    // The stored size is the outer one, frame included.
    const QSize outer = form->frameGeometry().size();
    form.reset();
    EXPECT_EQ(EntryNames(), (std::vector<std::string>{"sizeWidth", "sizeHeight", "Maximized", "posLeft", "posTop"}));
    EXPECT_EQ(Entry("sizeWidth"), std::to_string(outer.width()));
    EXPECT_EQ(Entry("sizeHeight"), std::to_string(outer.height()));
    EXPECT_EQ(Entry("Maximized"), "False");
    EXPECT_EQ(Entry("posLeft"), "40");
    EXPECT_EQ(Entry("posTop"), "50");

    auto again = NewForm();
    again->show();
    EXPECT_EQ(again->pos(), QPoint(40, 50));
    EXPECT_EQ(again->size(), QSize(300, 200));
    EXPECT_TRUE(Errors.empty());
}

TEST_F(FormsTest, MaximizedWindowKeepsItsNormalBoundsInTheFile) {
    WriteEntries({{"sizeWidth", 320}, {"sizeHeight", 240}, {"Maximized", true}, {"posLeft", -5000}, {"posTop", 7}});
    auto form = NewForm();
    form->show();
    EXPECT_TRUE(form->windowState() & Qt::WindowMaximized);
    const QSize frame = form->frameGeometry().size() - form->size();
    EXPECT_EQ(form->normalGeometry().size() + frame, QSize(320, 240));
    form.reset();
    EXPECT_EQ(Entry("Maximized"), "True");
    // Far off the screen, and kept unchanged.
    EXPECT_EQ(Entry("posLeft"), "-5000");
    EXPECT_EQ(Entry("sizeWidth"), "320");
    EXPECT_TRUE(Errors.empty());
}

TEST_F(FormsTest, BadStoredValueIsReportedAndThePlacementStays) {
    WriteEntries({{"posLeft", "left"}, {"posTop", 10}});
    auto form = NewForm();
    form->move(60, 70);
    form->show();
    ASSERT_EQ(Errors.size(), 1u);
    EXPECT_EQ(Errors[0], "Could not convert variant of type (String) into type (Integer)");
    EXPECT_EQ(form->pos(), QPoint(60, 70));

    Errors.clear();
    form.reset();
    WriteEntries({{"posLeft", 1}, {"Maximized", "sometimes"}});
    form = NewForm();
    form->show();
    ASSERT_EQ(Errors.size(), 1u);
    EXPECT_EQ(Errors[0], "Could not convert variant of type (String) into type (Boolean)");
    EXPECT_FALSE(form->isMaximized());
}

TEST_F(FormsTest, SwitchedOffPlacementNeverTouchesTheFile) {
    auto form = std::make_unique<TfrmYesNo>();
    form->KeepPosition = false;
    form->KeepSize = false;
    form->show();
    form->hide();
    form->show();
    form.reset();
    EXPECT_FALSE(std::filesystem::exists(SettingsFile));

    form = std::make_unique<TfrmYesNo>();
    form->SkipAutoLoad = true;
    form->show();
    EXPECT_FALSE(std::filesystem::exists(SettingsFile));
}

TEST_F(FormsTest, ChildFormKeepsItsPlacementUnderItsParent) {
    struct TfrmChild : TfrmBaseForm {
        explicit TfrmChild(QWidget* owner) : TfrmBaseForm(owner) { setObjectName(QStringLiteral("frmChild")); }
    };
    WriteEntries({});
    {
        TXMLDataBase store(SettingsFile, InitialSettingsText);
        store.WriteNodeSetting(TXMLDataBase::ForcePath(store.DataRoot(), "tableViews\\frmTest\\frmChild"), "posLeft",
                               33);
        store.Save();
    }
    auto parent = NewForm();
    TfrmChild* child = parent->CreateChildForm<TfrmChild>();
    EXPECT_EQ(child->parent(), parent.get());
    EXPECT_FALSE(child->OwnsStore());
    EXPECT_EQ(&child->FormStore(), &parent->FormStore());
    EXPECT_EQ(child->x(), 33);
    child->move(44, 55);
    parent.reset();
    EXPECT_EQ(Entry("posLeft", "tableViews\\frmTest\\frmChild"), "44");
    EXPECT_EQ(Entry("posTop", "tableViews\\frmTest\\frmChild"), "55");
    EXPECT_EQ(Entry("posLeft"), "0");
}

TEST_F(FormsTest, UnwritableSettingsFileIsReported) {
    SettingsFile = Folder / "missing/pixamo.xdb";
    SetFormSettingsFileName(SettingsFile);
    auto form = NewForm();
    form->show();
    form.reset();
    ASSERT_FALSE(Errors.empty());
    EXPECT_NE(Errors.back().find(SettingsFile), std::string::npos) << Errors.back();
}

namespace {

// A window with the given controls, shown and active, with the focus on the first.
struct TKeyForm {
    explicit TKeyForm(std::unique_ptr<TfrmBaseForm> f) : form(std::move(f)) {
        form->KeepPosition = form->KeepSize = false;
        first = new QLineEdit(form.get());
        combo = new QComboBox(form.get());
        combo->addItems({QStringLiteral("a"), QStringLiteral("b")});
        last = new QLineEdit(form.get());
        form->show();
        form->activateWindow();
        QApplication::setActiveWindow(form.get());
        first->setFocus();
        QApplication::processEvents();
    }
    void PressEnter(QWidget* target) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        QApplication::sendEvent(target, &press);
        QApplication::processEvents();
    }
    std::unique_ptr<TfrmBaseForm> form;
    QLineEdit* first;
    QComboBox* combo;
    QLineEdit* last;
};

}  // namespace

TEST_F(FormsTest, EnterMovesTheFocusOnInTextBoxesAndClosedComboBoxes) {
    TKeyForm keys(NewForm());
    ASSERT_EQ(QApplication::focusWidget(), keys.first);
    keys.PressEnter(keys.first);
    EXPECT_EQ(QApplication::focusWidget(), keys.combo);
    keys.PressEnter(keys.combo);
    EXPECT_EQ(QApplication::focusWidget(), keys.last);
    EXPECT_TRUE(keys.form->isVisible());
}

TEST_F(FormsTest, EnabledDefaultButtonTakesEnterFirst) {
    TKeyForm keys(std::make_unique<TfrmYesNo>());
    auto* dialog = static_cast<TfrmYesNo*>(keys.form.get());
    keys.PressEnter(keys.first);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);

    // With OK disabled the key is left to the form: the focus moves on.
    dialog->btnOk->setEnabled(false);
    dialog->show();
    QApplication::setActiveWindow(dialog);
    keys.first->setFocus();
    keys.PressEnter(keys.first);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(QApplication::focusWidget(), keys.combo);
}

TEST_F(FormsTest, EscapeClosesDialogsButNotPlainWindows) {
    auto window = NewForm();
    window->KeepPosition = window->KeepSize = false;
    window->show();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &escape);
    EXPECT_TRUE(window->isVisible());

    TfrmYesNo dialog;
    dialog.KeepPosition = dialog.KeepSize = false;
    dialog.show();
    QApplication::sendEvent(&dialog, &escape);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}
