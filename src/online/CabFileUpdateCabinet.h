#pragma once

#include "cabinet/CabFile.h"
#include "online/IUpdateCabinet.h"

// The installation step's cabinet: a CabFile that unpacks everything beside the cabinet.
class CabFileUpdateCabinet : public IUpdateCabinet {
public:
    CabFileUpdateCabinet(IView& view, ICabinetIterator& iterator) : cab_(view, iterator) {}
    void SetCabName(const std::string& path) override { cab_.SetCabName(path); }
    std::int32_t FileCount() override { return cab_.FileCount(); }
    bool Extract() override;

private:
    CabFile cab_;
};
