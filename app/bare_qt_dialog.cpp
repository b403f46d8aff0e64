// The yardstick of the start-up benchmark: a bare Qt program that shows one empty dialog
// (offscreen) and closes it as soon as it is shown.
#include <QApplication>
#include <QDialog>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QDialog dialog;
    dialog.setWindowTitle("bare");
    QTimer::singleShot(0, &dialog, &QDialog::reject);
    return dialog.exec() == QDialog::Rejected ? 0 : 1;
}
