#pragma once

#include <QDialog>

QT_BEGIN_NAMESPACE
namespace Ui
{
class about;
}
QT_END_NAMESPACE

// The information box: how the images are taken, and who made the program.
class about : public QDialog
{
    Q_OBJECT

public:
    explicit about(QWidget *parent = nullptr);
    ~about() override;

private:
    Ui::about *ui;
};
