#include "InfoTab.h"

#include <QDateEdit>
#include <QDateTime>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "OpenMessages.h"
#include "Conformance.h"
#include "InfoEdits.h"
#include "PdfDocument.h"
#include "WindowParts.h"

namespace {

TDateTimeValue WithDate(TDateTimeValue value, const QDate& date) {
    value.year = date.year();
    value.month = date.month();
    value.day = date.day();
    return value;
}

TDateTimeValue WithTime(TDateTimeValue value, const QTime& time) {
    value.hour = time.hour();
    value.minute = time.minute();
    value.second = time.second();
    return value;
}

// Stands for "no date": below every date a file can name (years 1 to 9999
// are read, and year 1 is not a date anybody writes).
const QDate kUnsetDate(1, 1, 1);

// Whether the file gives the date under `key` (the reader leaves the time
// of opening in a date it lacks); the text of one that cannot be read.
QDate DayOf(const TInfoDateTime& value) {
    return QDate(value.date.year, value.date.month, value.date.day);
}

QTime ClockOf(const TInfoDateTime& value) {
    return QTime(value.time.hour, value.time.minute, value.time.second);
}

bool FileHasDate(const TPdfDocument& doc, const std::string& key, QString& unreadable) {
    const std::optional<TInfoDate> date = FileInfoDate(doc, key);
    if (date && !date->readable) unreadable = QString::fromStdString(date->token);
    return date && date->readable;
}

}  // namespace

// ---- date field ------------------------------------------------------------------

TDateField::TDateField(QWidget* parent) : QDateEdit(parent) {
    setDateRange(kUnsetDate, QDate(9999, 12, 31));
    setSpecialValueText("nicht gesetzt");
    setDisplayFormat("dd.MM.yyyy");
    setCalendarPopup(true);
}

QSize TDateField::WithRoomForUnset(QSize size) const {
    const QFontMetrics metrics = fontMetrics();
    const int extra = metrics.horizontalAdvance(specialValueText()) - metrics.horizontalAdvance("00.00.0000");
    if (extra > 0) size.rwidth() += extra;
    return size;
}

QSize TDateField::sizeHint() const {
    return WithRoomForUnset(QDateEdit::sizeHint());
}

QSize TDateField::minimumSizeHint() const {
    return WithRoomForUnset(QDateEdit::minimumSizeHint());
}

void TDateField::SetUnset() {
    setDate(kUnsetDate);
}

bool TDateField::IsSet() const {
    return date() != kUnsetDate;
}

void TDateField::StartAtToday() {
    if (!IsSet() && isEnabled()) setDate(QDate::currentDate());
}

void TDateField::mousePressEvent(QMouseEvent* event) {
    // Before the popup opens, so that it shows this month.
    StartAtToday();
    QDateEdit::mousePressEvent(event);
}

void TDateField::keyPressEvent(QKeyEvent* event) {
    // Moving on with Tab leaves the field as it is.
    if (!event->text().isEmpty() && event->text().at(0).isPrint()) StartAtToday();
    if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) {
        if (!IsSet()) {
            StartAtToday();
            return;
        }
    }
    QDateEdit::keyPressEvent(event);
}

void TDateField::stepBy(int steps) {
    if (!IsSet()) {
        StartAtToday();
        return;
    }
    QDateEdit::stepBy(steps);
}

// ---- the tab ---------------------------------------------------------------------

TInfoTab::TInfoTab(QWidget* parent) : QWidget(parent) {
    auto* body = new QHBoxLayout;
    body->addWidget(MakeSidePanel("Dokument Informationen", SheetPicture(), this));
    body->addLayout(CreateForm(), 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(MakeHeader("Dokumenten Informationen - Hier können Sie einige Informationen zum Dokument", this));
    layout->addLayout(body, 1);
    ConnectFields();
}

QLayout* TInfoTab::CreateForm() {
    for (QLineEdit** edit : {&Edit1, &Edit2, &Edit3, &Edit4, &Edit5, &Edit6}) *edit = new QLineEdit(this);
    DateTimePicker1 = new TDateField(this);
    DateTimePicker2 = new QTimeEdit(this);
    DateTimePicker3 = new TDateField(this);
    DateTimePicker4 = new QTimeEdit(this);
    for (QTimeEdit* time : {DateTimePicker2, DateTimePicker4}) time->setDisplayFormat("HH:mm:ss");
    NowBtn = new QPushButton("Auf jetzt setzen", this);
    connect(NowBtn, &QPushButton::clicked, this, &TInfoTab::NowBtnClick);

    auto* form = new QGridLayout;
    const std::pair<const char*, QLineEdit*> texts[] = {
        {"Producer (Acrobat...):", Edit1}, {"Creator (Word...):", Edit2}, {"Autor:", Edit3},
        {"Titel:", Edit4},                 {"Betreff:", Edit5},           {"Stichworte:", Edit6}};
    int row = 0;
    for (const auto& [caption, edit] : texts) {
        auto* label = new QLabel(caption, this);
        label->setBuddy(edit);
        form->addWidget(label, row, 0);
        form->addWidget(edit, row, 1, 1, 3);
        ++row;
    }
    form->addWidget(new QLabel("Erstellt:", this), row, 0);
    form->addWidget(DateTimePicker1, row, 1);
    form->addWidget(DateTimePicker2, row, 2);
    ++row;
    form->addWidget(new QLabel("Geändert:", this), row, 0);
    form->addWidget(DateTimePicker3, row, 1);
    form->addWidget(DateTimePicker4, row, 2);
    form->addWidget(NowBtn, row, 3, Qt::AlignLeft);
    ++row;
    EncryptionLabel = new QLabel(this);
    form->addWidget(new QLabel("Verschlüsselung:", this), row, 0);
    form->addWidget(EncryptionLabel, row, 1, 1, 3);
    ++row;
    PermissionsLabel = new QLabel(this);
    PermissionsLabel->setWordWrap(true);
    form->addWidget(new QLabel("Berechtigungen:", this), row, 0, Qt::AlignTop);
    form->addWidget(PermissionsLabel, row, 1, 1, 3);
    ++row;
    ClaimsLabel = new QLabel(this);
    ClaimsLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addWidget(new QLabel("Konformität:", this), row, 0);
    form->addWidget(ClaimsLabel, row, 1, 1, 3);
    form->setColumnStretch(3, 1);
    form->setRowStretch(row + 1, 1);
    return form;
}

void TInfoTab::ConnectFields() {
    for (QLineEdit* edit : {Edit1, Edit2, Edit3, Edit4, Edit5, Edit6})
        connect(edit, &QLineEdit::textChanged, this, [this] {
            if (!filling_) emit edited(TField::Text);
        });
    auto dateEdited = [this](TField field) {
        if (!filling_) emit edited(field);
    };
    connect(DateTimePicker1, &QDateEdit::dateChanged, this, [this, dateEdited] {
        FollowDate(DateTimePicker1, DateTimePicker2);
        dateEdited(TField::CreationDate);
    });
    connect(DateTimePicker2, &QTimeEdit::timeChanged, this, [dateEdited] { dateEdited(TField::CreationDate); });
    connect(DateTimePicker3, &QDateEdit::dateChanged, this, [this, dateEdited] {
        FollowDate(DateTimePicker3, DateTimePicker4);
        dateEdited(TField::ModDate);
    });
    connect(DateTimePicker4, &QTimeEdit::timeChanged, this, [dateEdited] { dateEdited(TField::ModDate); });
}

void TInfoTab::FollowDate(TDateField* date, QTimeEdit* time) {
    const bool wasFilling = filling_;
    filling_ = true;
    if (!date->IsSet()) {
        time->setSpecialValueText("–");
        time->setTime(time->minimumTime());
    } else if (!time->specialValueText().isEmpty()) {
        // The date was just set: its time starts at now, like the date.
        time->setSpecialValueText(QString());
        const QTime now = QTime::currentTime();
        time->setTime(QTime(now.hour(), now.minute(), now.second()));
    }
    time->setEnabled(date->IsSet());
    filling_ = wasFilling;
}

void TInfoTab::ShowDate(TDateField* date, QTimeEdit* time, bool set, const QDate& day, const QTime& clock) {
    // Cleared first, so that FollowDate sees a date that was unset.
    time->setSpecialValueText(QString());
    if (set) {
        date->setDate(day);
        time->setTime(clock);
    } else {
        date->SetUnset();
    }
    FollowDate(date, time);
}

void TInfoTab::ShowValues(const TPdfDocument& doc, const TInfoEdits& edits) {
    filling_ = true;
    Edit1->setText(QString::fromStdString(edits.producer));
    Edit2->setText(QString::fromStdString(edits.creator));
    Edit3->setText(QString::fromStdString(edits.author));
    Edit4->setText(QString::fromStdString(edits.title));
    Edit5->setText(QString::fromStdString(edits.subject));
    Edit6->setText(QString::fromStdString(edits.keywords));
    // Dates the file lacks show as not set, unless the user has set them
    // since.
    QString unreadableCreation, unreadableMod;
    const TDocumentInfo& read = doc.info;
    const TInfoDateTime creation = edits.creation.value_or(TInfoDateTime{read.creationDate, read.creationTime});
    const TInfoDateTime mod = edits.modification.value_or(TInfoDateTime{read.modDate, read.modTime});
    const bool creationSet = edits.creation || FileHasDate(doc, "/CreationDate", unreadableCreation);
    const bool modSet = edits.modification || FileHasDate(doc, "/ModDate", unreadableMod);
    ShowDate(DateTimePicker1, DateTimePicker2, creationSet, DayOf(creation), ClockOf(creation));
    ShowDate(DateTimePicker3, DateTimePicker4, modSet, DayOf(mod), ClockOf(mod));
    const auto unreadableTip = [](const QString& text) {
        return text.isEmpty() ? QString() : "In der Datei steht ein Datum, das sich nicht lesen lässt: " + text;
    };
    DateTimePicker1->setToolTip(unreadableTip(unreadableCreation));
    DateTimePicker3->setToolTip(unreadableTip(unreadableMod));
    // Long texts show their beginning, not their end.
    for (QLineEdit* edit : {Edit1, Edit2, Edit3, Edit4, Edit5, Edit6}) edit->setCursorPosition(0);
    EncryptionLabel->setText(QString::fromStdString(EncryptionText(doc.Security())));
    QStringList permissions;
    for (const std::string& text : PermissionTexts(doc.Permissions())) permissions << QString::fromStdString(text);
    PermissionsLabel->setText(permissions.join(", "));
    shownValues_ = Values();
    filling_ = false;
}

QStringList TInfoTab::Values() const {
    QStringList values;
    for (const QLineEdit* edit : {Edit1, Edit2, Edit3, Edit4, Edit5, Edit6}) values << edit->text();
    for (const QDateTimeEdit* field : std::initializer_list<const QDateTimeEdit*>{
             DateTimePicker1, DateTimePicker2, DateTimePicker3, DateTimePicker4})
        values << field->text();
    return values;
}

bool TInfoTab::ChangedSinceShown() const {
    return Values() != shownValues_;
}

void TInfoTab::ShowClaims(const TXmpClaims& claims) {
    QStringList parts;
    for (const std::string* claim : {&claims.pdfa, &claims.pdfx})
        if (!claim->empty()) parts << QString::fromStdString(*claim);
    ClaimsLabel->setText(parts.isEmpty() ? QString("keine Angabe") : parts.join(", "));
}

void TInfoTab::StoreValues(TField field, TInfoEdits& edits) const {
    edits.producer = Edit1->text().toStdString();
    edits.creator = Edit2->text().toStdString();
    edits.author = Edit3->text().toStdString();
    edits.title = Edit4->text().toStdString();
    edits.subject = Edit5->text().toStdString();
    edits.keywords = Edit6->text().toStdString();
    // A date counts as the user's from the first time it was touched while
    // set; untouched, the writer keeps the file's (see TInfoEdits).
    const auto store = [](bool touched, const TDateField* date, const QTimeEdit* time,
                          std::optional<TInfoDateTime>& value) {
        if (touched && !date->IsSet()) value.reset();
        if ((touched || value) && date->IsSet())
            value = TInfoDateTime{WithDate({}, date->date()), WithTime({}, time->time())};
    };
    store(field == TField::CreationDate, DateTimePicker1, DateTimePicker2, edits.creation);
    store(field == TField::ModDate, DateTimePicker3, DateTimePicker4, edits.modification);
}

void TInfoTab::NowBtnClick() {
    const QDateTime now = QDateTime::currentDateTime();
    DateTimePicker3->setDate(now.date());
    DateTimePicker4->setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
}
