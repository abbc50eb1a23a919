#include "AboutBox.h"

#include <QDate>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The program's picture: a sheet of paper with a large letter being
// exchanged for another, drawn here so that the program ships no image files.
QPixmap ProgramPicture() {
    QPixmap pixmap(306, 322);
    pixmap.fill(QColor(240, 202, 166));
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sheet(0, 0, 306, 322);
    sheet.setColorAt(0, QColor(255, 255, 255));
    sheet.setColorAt(1, QColor(214, 222, 236));
    p.setPen(QPen(QColor(60, 60, 90), 3));
    p.setBrush(sheet);
    QPainterPath page;
    page.moveTo(40, 20);
    page.lineTo(220, 20);
    page.lineTo(270, 70);
    page.lineTo(270, 300);
    page.lineTo(40, 300);
    page.closeSubpath();
    p.drawPath(page);
    p.drawLine(220, 20, 220, 70);
    p.drawLine(220, 70, 270, 70);
    p.setPen(QPen(QColor(150, 150, 170), 4));
    for (int y = 230; y <= 280; y += 16) p.drawLine(60, y, 250, y);
    QFont serif("DejaVu Serif");
    serif.setPixelSize(150);
    serif.setBold(true);
    p.setFont(serif);
    p.setPen(QColor(128, 0, 0));
    p.drawText(QRect(40, 50, 120, 170), Qt::AlignCenter, "A");
    QFont sans("DejaVu Sans");
    sans.setPixelSize(150);
    p.setFont(sans);
    p.setPen(QColor(0, 0, 128));
    p.drawText(QRect(150, 50, 120, 170), Qt::AlignCenter, "a");
    p.setPen(QPen(QColor(0, 128, 0), 6));
    p.drawLine(130, 135, 175, 135);
    p.drawLine(160, 120, 175, 135);
    p.drawLine(160, 150, 175, 135);
    return pixmap;
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Info");
    setFixedSize(664, 453);
    setAttribute(Qt::WA_DeleteOnClose, false);

    auto* panel1 = new QFrame(this);
    panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel1->setAutoFillBackground(true);
    QPalette panelPalette = panel1->palette();
    panelPalette.setColor(QPalette::Window, QColor(240, 202, 166));
    panelPalette.setColor(QPalette::WindowText, Qt::black);
    panel1->setPalette(panelPalette);

    auto* programIcon = new QLabel(panel1);
    programIcon->setPixmap(ProgramPicture());
    programIcon->setFixedSize(306, 322);

    ProductName = new QLabel("PDF Glyphwell 1.0", panel1);
    QFont heading("Arial Narrow");
    heading.setPixelSize(24);
    heading.setBold(true);
    ProductName->setFont(heading);

    YearLine = new QLabel("Copyright © XXXX Vostrel Software", panel1);
    auto* comments = new QLabel(
        "PDF Glyphwell ersetzt die Schriftarten einer vorhandenen PDF-Datei durch andere Schriftarten "
        "der Datei oder durch installierte TrueType-Schriftarten.",
        panel1);
    comments->setWordWrap(true);
    auto* label1 = new QLabel("Vostrel Software", panel1);
    QFont bold = label1->font();
    bold.setBold(true);
    label1->setFont(bold);
    auto* label2 = new QLabel("Werkzeuge für Druckvorstufe und Satz", panel1);
    auto* label3 = new QLabel("Fragen und Hinweise zum Programm beantwortet das Handbuch:", panel1);
    label3->setWordWrap(true);
    BitBtnXP1 = new QPushButton("Hinweise zum Programm", panel1);
    BitBtnXP1->setCursor(Qt::PointingHandCursor);
    connect(BitBtnXP1, &QPushButton::clicked, this, &TAboutBox::BitBtnXP1Click);

    auto* texts = new QVBoxLayout;
    texts->addWidget(ProductName);
    texts->addWidget(YearLine);
    texts->addSpacing(12);
    texts->addWidget(comments);
    texts->addSpacing(12);
    texts->addWidget(label1);
    texts->addWidget(label2);
    texts->addSpacing(12);
    texts->addWidget(label3);
    texts->addWidget(BitBtnXP1, 0, Qt::AlignLeft);
    texts->addStretch(1);
    auto* panelLayout = new QHBoxLayout(panel1);
    panelLayout->addWidget(programIcon, 0, Qt::AlignTop);
    panelLayout->addLayout(texts, 1);

    BitBtn1 = new QPushButton("OK", this);
    BitBtn1->setFixedSize(181, 37);
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel1, 1);
    layout->addWidget(BitBtn1, 0, Qt::AlignHCenter);

    FormCreate();
}

QString TAboutBox::InsertYear(const QString& text, int year) {
    const QString digits = QString::number(year);
    const qsizetype at = text.indexOf("XXXX");
    if (at < 0) return digits + text;
    QString result = text;
    result.replace(at, 4, digits);
    return result;
}

void TAboutBox::FormCreate() {
    YearLine->setText(InsertYear(YearLine->text(), QDate::currentDate().year()));
}

void TAboutBox::BitBtnXP1Click() {
    helpWanted_ = true;
    accept();
}
