// The tab "Informationen": the document-information fields (Producer,
// Creator, Author, Title, Subject, Keywords) and the creation and
// modification dates. It shows a document's values and writes back what
// the user changed; filling it raises no change. A date the file does not
// have (or has in a form that cannot be read) shows as "nicht gesetzt"
// until the user sets one.
#pragma once

#include <QDateEdit>
#include <QStringList>
#include <QWidget>

class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimeEdit;
class TPdfDocument;
struct TInfoEdits;
struct TXmpClaims;

// A date field that can be unset. Unset, it shows "nicht gesetzt"; the
// first click, key or step starts it at today rather than at the lowest
// date it can hold.
class TDateField : public QDateEdit {
public:
    explicit TDateField(QWidget* parent = nullptr);
    void SetUnset();
    bool IsSet() const;
    // Wide enough for "nicht gesetzt" as well as for a date.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void stepBy(int steps) override;

private:
    void StartAtToday();
    QSize WithRoomForUnset(QSize size) const;
};

class QLabel;

class TInfoTab : public QWidget {
    Q_OBJECT
public:
    enum class TField { Text, CreationDate, ModDate };

    explicit TInfoTab(QWidget* parent = nullptr);

    // Shows the information as edited so far (the dates the user has not
    // set as the document has them).
    void ShowValues(const TPdfDocument& doc, const TInfoEdits& edits);
    // After the user changed `field`: the fields into `edits` (text in
    // UTF-8, dates and times as shown).
    void StoreValues(TField field, TInfoEdits& edits) const;
    // The PDF/A and PDF/X parts the document claims ("PDF/A-2b, PDF/X-4").
    void ShowClaims(const TXmpClaims& claims);
    // "Auf jetzt setzen": the modification date and time become now.
    void NowBtnClick();
    // Whether the fields differ from what ShowValues showed.
    bool ChangedSinceShown() const;

    QLineEdit* Edit1 = nullptr;  // Producer
    QLineEdit* Edit2 = nullptr;  // Creator
    QLineEdit* Edit3 = nullptr;  // Author
    QLineEdit* Edit4 = nullptr;  // Title
    QLineEdit* Edit5 = nullptr;  // Subject
    QLineEdit* Edit6 = nullptr;  // Keywords
    TDateField* DateTimePicker1 = nullptr;
    QTimeEdit* DateTimePicker2 = nullptr;
    TDateField* DateTimePicker3 = nullptr;
    QTimeEdit* DateTimePicker4 = nullptr;
    QPushButton* NowBtn = nullptr;
    // The file's encryption and what its permissions allow.
    QLabel* EncryptionLabel = nullptr;
    QLabel* PermissionsLabel = nullptr;
    QLabel* ClaimsLabel = nullptr;

signals:
    // The user changed a field (not ShowValues).
    void edited(TInfoTab::TField field);

private:
    QLayout* CreateForm();
    void ConnectFields();
    // Shows a date of the document, or "nicht gesetzt".
    void ShowDate(TDateField* date, QTimeEdit* time, bool set, const QDate& day, const QTime& clock);
    // The time of an unset date has nothing to say.
    void FollowDate(TDateField* date, QTimeEdit* time);
    QStringList Values() const;

    bool filling_ = false;
    QStringList shownValues_;
};
