#include "GdalSession.h"

#include <mutex>

namespace Formats
{

void EnsureGdal()
{
    static std::once_flag once;
    std::call_once(once, [] { GDALAllRegister(); });
}

GdalErrors::GdalErrors()
{
    CPLPushErrorHandlerEx(&GdalErrors::Handler, this);
}

GdalErrors::~GdalErrors()
{
    CPLPopErrorHandler();
}

std::string GdalErrors::Last(const std::string& fallback) const
{
    if (!m_failures.empty())
    {
        return m_failures.back();
    }
    return m_warnings.empty() ? fallback : m_warnings.back();
}

void CPL_STDCALL GdalErrors::Handler(CPLErr eClass, CPLErrorNum, const char* pszText)
{
    auto* self = static_cast<GdalErrors*>(CPLGetErrorHandlerUserData());
    if (self == nullptr || eClass == CE_Debug || eClass == CE_None)
    {
        return;
    }
    (eClass == CE_Warning ? self->m_warnings : self->m_failures)
        .emplace_back(pszText != nullptr ? pszText : "");
}

} // namespace Formats
