#pragma once

#include <QDialog>

namespace Orvista
{

// "About Arealis Demo": the program's name, version and an OK button.
class AboutDialog final : public QDialog
{
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* pParent = nullptr);
};

} // namespace Orvista
