#pragma once

#include "Arealis/Precision.h"

#include <QDialog>

#include <optional>

class QLabel;
class QLineEdit;

namespace Orvista
{

// "Precision": the node grid step and tolerance of a layer, starting at its current values,
// with buttons that fill in the defaults for degrees and for metres. OK closes it only when
// both fields hold numbers; the document checks the values themselves.
class PrecisionDialog final : public QDialog
{
    Q_OBJECT

public:
    PrecisionDialog(const QString& layerName, const Arealis::Precision& current,
                    QWidget* pParent = nullptr);

    // The values entered, after the dialog was accepted.
    std::optional<Arealis::Precision> Chosen() const { return m_chosen; }

private:
    void Show(const Arealis::Precision& precision);
    void Accept();

    QLineEdit* m_pGrid;
    QLineEdit* m_pTolerance;
    QLabel* m_pProblem;
    std::optional<Arealis::Precision> m_chosen;
};

} // namespace Orvista
