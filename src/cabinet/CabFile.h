#pragma once

// PUBLIC CONTRACT (fixed so the online update can be written beside the cabinet work):
// the constructor and the public members below keep these signatures. Private members,
// the iterator interface and the implementation are the cabinet subsystem's to shape.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/IView.h"

class ICabinetIterator;

// A date and time as the platform's automation date: days since 1899-12-30 00:00:00, with the
// time of day as the fraction. Zero is that instant.
struct CabDateTime {
    double value = 0;
};

// One cabinet file, named by CabName. Each operation is one pass over the cabinet.
class CabFile {
public:
    CabFile(IView& view, ICabinetIterator& iterator);
    ~CabFile();

    // Events; an unset handler does nothing.
    std::function<void(const std::string& fileName, CabDateTime dateTime, std::int32_t size,
                       const std::string& path)>
        FileFound;
    std::function<void(const std::string& fileName, bool& cancel)> BeforeExtract;
    std::function<void(const std::string& fileName)> AfterExtract;

    const std::string& CabName() const;
    void SetCabName(const std::string& name);

    // Raise AppError (number, source, description) on failure.
    std::int32_t FileCount();
    bool GetInfo(const std::string& fileToInvestigate);
    std::string GetXML(const std::string& fileToInvestigate);

    // Never raises: shows its two message boxes and returns false on any failure.
    bool Extract(const std::string& fileToExtract, const std::string& outputPath,
                 const std::string& outputFile);
};
