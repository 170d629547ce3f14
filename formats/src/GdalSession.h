#pragma once

#include <gdal_priv.h>
#include <ogrsf_frmts.h>
#include <string>
#include <vector>

namespace Formats
{

// Registers GDAL's drivers once per process.
void EnsureGdal();

// Collects the messages GDAL reports on this thread while it lives, instead of letting GDAL
// print them, so that they can become part of one clear error.
class GdalErrors
{
public:
    GdalErrors();
    ~GdalErrors();
    GdalErrors(const GdalErrors&) = delete;
    GdalErrors& operator=(const GdalErrors&) = delete;

    // The last failure's text, or the last warning's, or fallback when GDAL said nothing.
    std::string Last(const std::string& fallback) const;
    const std::vector<std::string>& Warnings() const { return m_warnings; }
    bool Failed() const { return !m_failures.empty(); }

private:
    static void CPL_STDCALL Handler(CPLErr eClass, CPLErrorNum nNumber, const char* pszText);

    std::vector<std::string> m_failures;
    std::vector<std::string> m_warnings;
};

} // namespace Formats
