#include "SaveTab.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "WindowParts.h"

TSaveTab::TSaveTab(QWidget* parent) : QWidget(parent) {
    SaveBtn = new QPushButton("PDF speichern unter...", this);
    ShowPDFCheck = new QCheckBox("PDF Datei nach dem Speichern anzeigen", this);
    ShowPDFCheck->setChecked(true);
    PDFVersionBox = new QComboBox(this);
    PDFVersionBox->addItems({"1.2 (Acrobat 3 and later)", "1.3 (Acrobat 4 and later)", "1.4 (Acrobat 5 and later)",
                             "1.5 (Acrobat 6 and later)", "1.6 (Acrobat 7 and later)", "1.7 (Acrobat 8 and later)"});
    PDFVersionBox->setCurrentIndex(1);
    auto* note = new QLabel(
        "Achtung: Die Datei wird nach dem Speichern unmittelbar wieder neu im Programm geöffnet, so dass die jetzt "
        "neuen Schriftarten als \"alte Schriftarten\" erscheinen!",
        this);
    note->setWordWrap(true);

    auto* version = new QHBoxLayout;
    auto* versionLabel = new QLabel("PDF Version:", this);
    versionLabel->setBuddy(PDFVersionBox);
    version->addWidget(versionLabel);
    version->addWidget(PDFVersionBox);
    version->addStretch(1);
    auto* controls = new QVBoxLayout;
    controls->addWidget(SaveBtn, 0, Qt::AlignLeft);
    controls->addWidget(ShowPDFCheck);
    controls->addLayout(version);
    controls->addSpacing(12);
    controls->addWidget(note);
    controls->addStretch(1);

    auto* body = new QHBoxLayout;
    body->addWidget(MakeSidePanel("PDF-Datei speichern", DiskPicture(), this));
    body->addLayout(controls, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(MakeHeader("Text ausgeben - Sie können nun den Text ansehen und speichern", this));
    layout->addLayout(body, 1);
    // Tab order as the eye reads the tab: button, check box, version.
    setTabOrder(SaveBtn, ShowPDFCheck);
    setTabOrder(ShowPDFCheck, PDFVersionBox);
}
