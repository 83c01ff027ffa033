#pragma once
// The string sender dialog "Send ASCII / HEX String": a string typed as text or as HEX pairs,
// or picked from the saved strings of "HexAsciiStrings.txt", which its Save and Remove buttons
// rewrite. OK refuses a HEX text that is not made of digit pairs. Built on the GUI thread
// through the prompt service (dialog id "CPatternDlg"); its answer is the fields stringType
// ("0" ASCII, "1" HEX) and stringText.

#include <QDialog>

#include "platform/ui/qt/qt_prompts.h"
#include "terminal/session/saved_strings.h"

class QComboBox;
class QPushButton;
class QRadioButton;

class CPatternDlg : public QDialog {
    Q_OBJECT

  public:
    CPatternDlg(const platform::DialogFields& fields, QWidget* parent = nullptr);

    platform::DialogFields Fields() const;

    QComboBox* StringBox() const { return strings_; }
    QPushButton* SaveButton() const { return save_; }
    QPushButton* RemoveButton() const { return remove_; }
    QRadioButton* AsciiButton() const { return ascii_; }
    QRadioButton* HexButton() const { return hex_; }

    void accept() override;

  private:
    void FillList();
    void OnEdited(const QString& text);
    void OnSelected();
    void OnSave();
    void OnRemove();
    // Rewrites the file; on failure says which file could not be written.
    bool StoreList();
    std::string Text() const;

    SavedStrings list_;
    QRadioButton* ascii_;
    QRadioButton* hex_;
    QComboBox* strings_;
    QPushButton* save_;
    QPushButton* remove_;
};

// How the prompt service builds the dialog and reads its answer.
platform::QtDialogFactory PatternDialogFactory();
