#pragma once

#include "Collections/IEnumerator.h"

#include <memory>

namespace Arealis
{

class Polygon;

// The enumerator of a layer query: the items of First (the committed polygons), then those
// of Second (the polygons being edited). Either part may be absent.
class LayerPolygonEnumerator final : public Collections::IEnumerator<Polygon*>
{
public:
    LayerPolygonEnumerator(std::unique_ptr<Collections::IEnumerator<Polygon*>> pFirst,
                           std::unique_ptr<Collections::IEnumerator<Polygon*>> pSecond) noexcept;

    // Throws InvalidOperationException "Uninitialized enumerator." when the part being
    // enumerated is absent.
    Polygon* Current() const override;
    bool MoveNext() override;
    void Reset() override;
    std::unique_ptr<Collections::IEnumerator<Polygon*>> Clone() const override;

private:
    std::unique_ptr<Collections::IEnumerator<Polygon*>> m_first;
    std::unique_ptr<Collections::IEnumerator<Polygon*>> m_second;
    bool m_inFirst = true;
};

} // namespace Arealis
