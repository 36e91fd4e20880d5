// The About box: title, version, licence and the maker's links.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QString>

#include <functional>

class QPlainTextEdit;
class QPushButton;

// The maker, as the links show it.
extern const char* const MakerName;
extern const char* const MakerMail;
extern const char* const MakerSite;      // the address opened
extern const char* const MakerSiteHost;  // the text shown

// The licence with the application title in place of every "<%APPTITLE%>".
QString ExpandLicence(const QString& title);
// The mail link: "mailto:", the address and a subject naming title and version in quotes.
QString MailLinkText(const QString& title, const QString& version);

// A static text that reports clicks.
class TLinkLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void Clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

class TAboutDialog : public QDialog {
    Q_OBJECT
public:
    TAboutDialog(const QString& title, QWidget* owner = nullptr);

    TLinkLabel* TitleLabel() const { return title_; }
    QLabel* VersionLabel() const { return version_; }
    QPlainTextEdit* LicenceEdit() const { return licence_; }
    TLinkLabel* MailLink() const { return mail_; }
    TLinkLabel* WebLink() const { return web_; }
    QPushButton* CloseButton() const { return close_; }

    // Hands a link to the desktop's default handler; a failure is ignored.
    std::function<void(const QString& link)> OpenLink;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QString appTitle_;
    TLinkLabel* title_;
    QLabel* version_;
    QPlainTextEdit* licence_;
    TLinkLabel* mail_;
    TLinkLabel* web_;
    QPushButton* close_;
};

// Opens the About box modally over the main window (none: no owner) and returns when it
// closes. The title is the application's display name.
void ShowAbout(QWidget* mainWindow);
