#pragma once

// The parameters of one report run and its kind. A plain value: the main
// window (or the console front end) owns the one current spec; every way of
// starting a run overwrites some of its fields and the run works on a copy.
// It holds no logic and frees nothing: the tree record and the two contexts
// it names belong to the tree browser and to the run that made them.

#include "client/ClientTypes.h"
#include "directory/TTreeInfo.h"
#include "report/ResultFilter.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vellrun::report {

// What a run makes; stored as a 32-bit integer in saved report files under
// "Report Type". A value outside the four makes an empty run, so any integer
// read from a file is kept as it is.
enum class ReportKind : int32_t {
    ByObject = 1,
    ByType = 2,
    SchemaClasses = 3,
    SchemaAttributes = 4,
};

// The export target, in the order of the output radio group.
enum class OutputType : int32_t {
    Csv = 0,
    Excel = 1,
    Clipboard = 2,
    Html = 3,
    Xml = 4,
};

struct ReportSpec {
    // The tree record the run reads through; not owned (the tree browser
    // owns it, also the one a saved report sets up). Null until a tree is chosen.
    directory::TTreeInfo* Tree = nullptr;
    ReportKind Kind = ReportKind::ByType;
    bool Recursive = false;  // ByType: search all subcontainers
    std::string TreeName;
    // The container a ByType report searches; the read context's name context.
    std::string Container;
    std::string ObjectName;  // ByObject: the object reported on
    // ByType: the class searched for ("*" or empty: every entry). ByObject:
    // the object's class as the caller knows it, used when the object's own
    // "Object Class" cannot be read.
    std::string ObjectClass;
    std::vector<std::string> Attributes;  // ByType: the columns after "DN", in order
    // Made by each run and released in its common tail: name context
    // Container and "[Root]". 0 while no run holds them.
    client::ContextHandle ReadContext{};
    client::ContextHandle SearchContext{};
    int32_t OrderBy = -1;  // column sorted by when the run ends; -1 = none
    OutputType Output = OutputType::Csv;
    // Exported to at the end of the run without asking; empty = no export.
    std::string OutputFile;
    bool Filtered = false;  // apply Filters (ByType only)
    FilterRows Filters{};
};

}  // namespace vellrun::report
