#include "PrecisionDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace Orvista
{

PrecisionDialog::PrecisionDialog(const QString& layerName, const Arealis::Precision& current,
                                 QWidget* pParent)
    : QDialog(pParent), m_pGrid(new QLineEdit(this)), m_pTolerance(new QLineEdit(this)),
      m_pProblem(new QLabel(this))
{
    setWindowTitle(QStringLiteral("Precision"));
    m_pGrid->setObjectName(QStringLiteral("grid"));
    m_pTolerance->setObjectName(QStringLiteral("tolerance"));
    auto* pLayout = new QVBoxLayout(this);
    auto* pIntro = new QLabel(QStringLiteral("The node grid and overlay tolerance of %1, in its "
                                             "coordinates' units. The layer's file is read again "
                                             "with them.")
                                  .arg(layerName),
                              this);
    pIntro->setWordWrap(true);
    pLayout->addWidget(pIntro);
    auto* pForm = new QFormLayout();
    pForm->addRow(QStringLiteral("Node &grid step:"), m_pGrid);
    pForm->addRow(QStringLiteral("&Tolerance:"), m_pTolerance);
    pLayout->addLayout(pForm);

    auto* pDefaults = new QHBoxLayout();
    auto* pDegrees = new QPushButton(QStringLiteral("Defaults for &degrees"), this);
    auto* pMetres = new QPushButton(QStringLiteral("Defaults for &metres"), this);
    pDegrees->setAutoDefault(false);
    pMetres->setAutoDefault(false);
    connect(pDegrees, &QPushButton::clicked, this,
            [this] { Show(Arealis::Precision::Geographic()); });
    connect(pMetres, &QPushButton::clicked, this, [this] { Show(Arealis::Precision{}); });
    pDefaults->addWidget(pDegrees);
    pDefaults->addWidget(pMetres);
    pLayout->addLayout(pDefaults);

    m_pProblem->setObjectName(QStringLiteral("problem"));
    pLayout->addWidget(m_pProblem);
    auto* pButtons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(pButtons, &QDialogButtonBox::accepted, this, &PrecisionDialog::Accept);
    connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    pLayout->addWidget(pButtons);
    Show(current);
}

void PrecisionDialog::Show(const Arealis::Precision& precision)
{
    m_pGrid->setText(QString::number(precision.GridStep, 'g', 17));
    m_pTolerance->setText(QString::number(precision.Tolerance, 'g', 17));
    m_pProblem->clear();
}

void PrecisionDialog::Accept()
{
    bool gridRead = false;
    bool toleranceRead = false;
    const double grid = m_pGrid->text().trimmed().toDouble(&gridRead);
    const double tolerance = m_pTolerance->text().trimmed().toDouble(&toleranceRead);
    if (!gridRead || !toleranceRead)
    {
        m_pProblem->setText(QStringLiteral("Enter both values as numbers, such as 1e-9."));
        return;
    }
    m_chosen = Arealis::Precision{grid, tolerance};
    accept();
}

} // namespace Orvista
