// The tab "Informationen": the document-information fields (Producer,
// Creator, Author, Title, Subject, Keywords) and the creation and
// modification dates. It shows a document's values and writes back what
// the user changed; filling it raises no change.
#pragma once

#include <QWidget>

class QDateEdit;
class QLineEdit;
class QPushButton;
class QTimeEdit;
class TPdfDocument;

class QLabel;

class TInfoTab : public QWidget {
    Q_OBJECT
public:
    enum class TField { Text, CreationDate, ModDate };

    explicit TInfoTab(QWidget* parent = nullptr);

    // Shows the document's values.
    void ShowValues(const TPdfDocument& doc);
    // Writes the fields into the document's values (text in UTF-8, dates
    // and times as shown).
    void StoreValues(TPdfDocument& doc) const;
    // "Auf jetzt setzen": the modification date and time become now.
    void NowBtnClick();

    QLineEdit* Edit1 = nullptr;  // Producer
    QLineEdit* Edit2 = nullptr;  // Creator
    QLineEdit* Edit3 = nullptr;  // Author
    QLineEdit* Edit4 = nullptr;  // Title
    QLineEdit* Edit5 = nullptr;  // Subject
    QLineEdit* Edit6 = nullptr;  // Keywords
    QDateEdit* DateTimePicker1 = nullptr;
    QTimeEdit* DateTimePicker2 = nullptr;
    QDateEdit* DateTimePicker3 = nullptr;
    QTimeEdit* DateTimePicker4 = nullptr;
    QPushButton* NowBtn = nullptr;
    // The file's encryption and what its permissions allow.
    QLabel* EncryptionLabel = nullptr;
    QLabel* PermissionsLabel = nullptr;

signals:
    // The user changed a field (not ShowValues).
    void edited(TInfoTab::TField field);

private:
    QLayout* CreateForm();
    void ConnectFields();

    bool filling_ = false;
};
