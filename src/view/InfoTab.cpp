#include "InfoTab.h"

#include <QDateEdit>
#include <QDateTime>
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

}  // namespace

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
    DateTimePicker1 = new QDateEdit(this);
    DateTimePicker2 = new QTimeEdit(this);
    DateTimePicker3 = new QDateEdit(this);
    DateTimePicker4 = new QTimeEdit(this);
    for (QDateEdit* date : {DateTimePicker1, DateTimePicker3}) {
        date->setDisplayFormat("dd.MM.yyyy");
        date->setCalendarPopup(true);
    }
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
    connect(DateTimePicker1, &QDateEdit::dateChanged, this, [dateEdited] { dateEdited(TField::CreationDate); });
    connect(DateTimePicker2, &QTimeEdit::timeChanged, this, [dateEdited] { dateEdited(TField::CreationDate); });
    connect(DateTimePicker3, &QDateEdit::dateChanged, this, [dateEdited] { dateEdited(TField::ModDate); });
    connect(DateTimePicker4, &QTimeEdit::timeChanged, this, [dateEdited] { dateEdited(TField::ModDate); });
}

void TInfoTab::ShowValues(const TPdfDocument& doc) {
    filling_ = true;
    Edit1->setText(QString::fromStdString(doc.Edit1));
    Edit2->setText(QString::fromStdString(doc.Edit2));
    Edit3->setText(QString::fromStdString(doc.Edit3));
    Edit4->setText(QString::fromStdString(doc.Edit4));
    Edit5->setText(QString::fromStdString(doc.Edit5));
    Edit6->setText(QString::fromStdString(doc.Edit6));
    const auto& d1 = doc.DateTimePicker1;
    const auto& t2 = doc.DateTimePicker2;
    const auto& d3 = doc.DateTimePicker3;
    const auto& t4 = doc.DateTimePicker4;
    DateTimePicker1->setDate(QDate(d1.year, d1.month, d1.day));
    DateTimePicker2->setTime(QTime(t2.hour, t2.minute, t2.second));
    DateTimePicker3->setDate(QDate(d3.year, d3.month, d3.day));
    DateTimePicker4->setTime(QTime(t4.hour, t4.minute, t4.second));
    // Long texts show their beginning, not their end.
    for (QLineEdit* edit : {Edit1, Edit2, Edit3, Edit4, Edit5, Edit6}) edit->setCursorPosition(0);
    EncryptionLabel->setText(QString::fromStdString(EncryptionText(doc.Security())));
    QStringList permissions;
    for (const std::string& text : PermissionTexts(doc.Permissions())) permissions << QString::fromStdString(text);
    PermissionsLabel->setText(permissions.join(", "));
    filling_ = false;
}

void TInfoTab::StoreValues(TPdfDocument& doc) const {
    doc.Edit1 = Edit1->text().toStdString();
    doc.Edit2 = Edit2->text().toStdString();
    doc.Edit3 = Edit3->text().toStdString();
    doc.Edit4 = Edit4->text().toStdString();
    doc.Edit5 = Edit5->text().toStdString();
    doc.Edit6 = Edit6->text().toStdString();
    doc.DateTimePicker1 = WithDate(doc.DateTimePicker1, DateTimePicker1->date());
    doc.DateTimePicker2 = WithTime(doc.DateTimePicker2, DateTimePicker2->time());
    doc.DateTimePicker3 = WithDate(doc.DateTimePicker3, DateTimePicker3->date());
    doc.DateTimePicker4 = WithTime(doc.DateTimePicker4, DateTimePicker4->time());
}

void TInfoTab::NowBtnClick() {
    const QDateTime now = QDateTime::currentDateTime();
    DateTimePicker3->setDate(now.date());
    DateTimePicker4->setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
}
