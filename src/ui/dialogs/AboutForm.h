#pragma once
// "About...": the program's name and the version read from its own
// executable's version note.

#include <QDialog>

#include <string>

class QLabel;
class QPushButton;

namespace mv {
struct TVersionInfo;
}

namespace mv::ui {

class TfmAbout : public QDialog {
    Q_OBJECT
public:
    // `versionFile`: the file whose version note is shown, normally the
    // running executable.
    TfmAbout(QWidget* owner, std::string versionFile);

    // The build number: what follows the third "." of a file version
    // ("2.2.1.1" gives "1"); empty when there are fewer than three.
    static QString BuildNumber(const std::string& fileVersion);
    // "Version " + ProductVersion + " (Build " + build + ")".
    static QString VersionText(const TVersionInfo& info);

    QLabel* imgBanner = nullptr;
    QLabel* AppNameLabel = nullptr;
    QLabel* PartNumberLabel = nullptr;
    QLabel* lblVersion = nullptr;
    QPushButton* btnOK = nullptr;

protected:
    void showEvent(QShowEvent* e) override;

private:
    std::string FVersionFile;
};

}  // namespace mv::ui
