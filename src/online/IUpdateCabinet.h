#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// What the installation step does with the cabinet object: name it, count its files, unpack
// all of them beside the cabinet. The real one is a CabFile (CabFileUpdateCabinet); tests may
// put in their own.
class IUpdateCabinet {
public:
    virtual ~IUpdateCabinet() = default;
    virtual void SetCabName(const std::string& path) = 0;
    // Raises AppError when the cabinet cannot be read.
    virtual std::int32_t FileCount() = 0;
    // Unpacks every file under its own name into the cabinet's folder. Never raises: on
    // failure it has told the user and returns false.
    virtual bool Extract() = 0;
};

// Makes a new cabinet object for one installation step.
using UpdateCabinetFactory = std::function<std::unique_ptr<IUpdateCabinet>()>;
