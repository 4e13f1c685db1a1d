#pragma once

#include <QDialog>
#include <QString>

#include "export_job.h"

class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace mandel_ui {

// The title of the export's dialog, its progress and its messages.
QString exportTitle();

// A file name in folder that does not exist yet: mandelbrot-1.png, -2, ...
QString freeExportPath(const QString& folder);

// Asks for the size and the file of an export, showing the region and the
// limit that will be drawn. The file is chosen with a file dialog that starts
// in the folder of the proposed file; PNG unless the name ends in .bmp.
// For the explorer's view it shows the location, takes the longer side, the
// shape (the view's or square) and the format, a count map (.npy) included.
class ExportDialog : public QDialog {
    Q_OBJECT

public:
    ExportDialog(const ExportRequest& proposal, QWidget* parent = nullptr);

    // The region of the proposal, with the size and the file as entered: a
    // relative file name is taken in the folder of the proposed file (the one
    // the dialog showed), and a name without a suffix gets ".png".
    ExportRequest request() const;

    QSpinBox* sizeBox;
    QLineEdit* pathEdit;
    QPushButton* browseButton;
    QPushButton* exportButton;
    QLabel* regionText;      // the four read-outs, as one line
    QLabel* arithmeticNote;  // the export draws with the deep engine
    QLabel* sizeRange;       // the sizes allowed
    // The explorer's rows; null for the main window's region.
    QRadioButton* viewShapeButton = nullptr;
    QRadioButton* squareButton = nullptr;
    QLabel* pixelsText = nullptr;    // the picture's width × height
    QComboBox* formatBox = nullptr;  // PNG, BMP, count map: the file's suffix follows it

public slots:
    void browse();
    // Refuses a file type it cannot write, a folder or anything else that is
    // not a regular file (a FIFO, a device) as the file, and a picture whose
    // drawing would need more memory than it may take, each with the reason;
    // asks before an existing file is replaced, unless the file dialog has
    // already asked.
    void accept() override;

protected:
    // A partly typed size is kept as typed: Return and leaving the box do
    // not put the previous size back.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void addExplorerRows(QFormLayout* form, int row);
    void updateState();
    void followFormat(int index);
    bool refuseUnwritableSuffix(const QString& path);
    bool refuseWhatIsNoFile(const QString& path);
    bool refuseAboveMemoryBudget(const ExportRequest& request);
    void showRefusal(const QString& objectName, const QString& text);
    QString typedPath() const;  // the file as typed, in the proposed file's folder when relative

    ExportRequest proposal_;
    QString confirmedPath_;  // chosen in the file dialog, which asks itself
};

}  // namespace mandel_ui
