// The tab "PDF-Datei speichern": the save button, whether the written file
// is shown afterwards, and the PDF version to write.
#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QPushButton;

class TSaveTab : public QWidget {
    Q_OBJECT
public:
    explicit TSaveTab(QWidget* parent = nullptr);

    QPushButton* SaveBtn = nullptr;
    QCheckBox* ShowPDFCheck = nullptr;
    // 0 = 1.2, 1 = 1.3, 2 = 1.4.
    QComboBox* PDFVersionBox = nullptr;
};
