#include "RefusedResults.h"

#include "Arealis/Polygon.h"
#include "Arealis/PolygonEnumerator.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Rectangle.h"
#include "Exceptions/Exception.h"
#include "InputLayer.h"
#include "LayerStatistics.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <utility>

namespace ArealisCli
{

namespace
{

// "A record 3", or "A (a polygon that is no record)" for a polygon of an input layer that the
// reader did not make; empty for a polygon of no input.
std::string RecordText(const Arealis::Polygon* pPolygon,
                       const std::vector<const InputLayer*>& inputs)
{
    for (const InputLayer* input : inputs)
    {
        if (pPolygon->GetLayer() == &input->Layer())
        {
            const std::int64_t record = input->RecordOf(pPolygon);
            return input->Label() + (record < 0 ? std::string(" (a polygon that is no record)")
                                                : " record " + std::to_string(record));
        }
    }
    return {};
}

// Up to Named names of records, "A record 3 and B record 7", with a count of the others.
class RecordNames
{
public:
    void Add(std::string name)
    {
        if (!name.empty() && m_count++ < Named)
        {
            m_names.push_back(std::move(name));
        }
    }

    bool IsEmpty() const noexcept { return m_count == 0; }

    std::string Text() const
    {
        if (m_names.empty())
        {
            return "no input record";
        }
        std::string text = m_names.front();
        for (std::size_t i = 1; i < m_names.size(); ++i)
        {
            text += (i + 1 == m_names.size() && m_count <= Named ? " and " : ", ") + m_names[i];
        }
        return m_count > Named ? text + " and " + std::to_string(m_count - Named) + " more" : text;
    }

private:
    static constexpr std::size_t Named = 4;
    std::vector<std::string> m_names;
    std::size_t m_count = 0;
};

// The input records a result polygon was made from, as its parents name them; for an
// operation that records no parents (the union of two layers), the input polygons whose
// bounds meet the result polygon's.
std::string SourceRecords(Arealis::PolygonLayer& result, Arealis::Polygon* pPolygon,
                          const std::vector<const InputLayer*>& inputs)
{
    RecordNames names;
    Arealis::PolygonEnumerator parents = result.GetParents(pPolygon);
    while (parents.MoveNext())
    {
        names.Add(RecordText(parents.Current(), inputs));
    }
    if (!names.IsEmpty())
    {
        return names.Text();
    }
    const Arealis::Rectangle bounds = pPolygon->GetBounds();
    for (const InputLayer* input : inputs)
    {
        for (const Arealis::Polygon* pInput : AllPolygons(input->Layer()))
        {
            if (pInput->GetBounds().Intersects(bounds))
            {
                names.Add(RecordText(pInput, inputs));
            }
        }
    }
    return names.Text();
}

} // namespace

void ThrowIfResultRefused(const std::string& operation, Arealis::PolygonLayer& result,
                          const std::vector<const InputLayer*>& inputs)
{
    std::size_t refused = 0;
    Arealis::Polygon* pFirst = nullptr;
    for (Arealis::Polygon* pPolygon : AllPolygons(result))
    {
        if (pPolygon->IsEditing())
        {
            pFirst = pFirst == nullptr ? pPolygon : pFirst;
            ++refused;
        }
    }
    if (pFirst == nullptr)
    {
        return;
    }
    std::string reason;
    try
    {
        pFirst->Validate(true);
        reason = "it overlaps another result polygon";
    }
    catch (const Exceptions::Exception& e)
    {
        reason = e.Message();
    }
    throw std::runtime_error(
        operation + " failed: the result polygon of " + SourceRecords(result, pFirst, inputs) +
        " is not valid (" + reason + ")" +
        (refused > 1 ? ", and " + std::to_string(refused - 1) + " more result polygons" : "") +
        "; nothing was written");
}

} // namespace ArealisCli
