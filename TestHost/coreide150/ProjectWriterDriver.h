// The stand-in project writer's driver interface (coreide150.bpl, unit
// Projectreadwrite), declared once for the tests and the benchmarks.
#pragma once

#include <windows.h>

namespace ProjectWriterDriver {

namespace Export {
constexpr const char* Write = "@Projectreadwrite@TXmlWriter@Write$qqrp10Node@TNode";
constexpr const char* NewProject = "PrjNewProject";
constexpr const char* FreeProject = "PrjFreeProject";
constexpr const char* WriteProject = "PrjWriteProject";
}  // namespace Export

enum TWriteResult : int { wrWritten = 0, wrRaised = 1, wrConventionBroken = 2 };

// A project of `items` references (a node that raises while it is written
// halfway through them when `raising`); freed with FreeProject.
using NewProjectFn = void*(__stdcall*)(int items, int raising);
using FreeProjectFn = void(__stdcall*)(void* project);
// A writer over `stream` writes the project through TXmlWriter.Write,
// called the host's way inside a host exception guard; *streamAfter gets the
// writer's output stream afterwards, errorClass (64 characters) the class
// of a host exception that came out ("" when none).
using WriteProjectFn = int(__stdcall*)(void* stream, void* project, void** streamAfter, wchar_t* errorClass);

struct Driver {
  NewProjectFn newProject = nullptr;
  FreeProjectFn freeProject = nullptr;
  WriteProjectFn writeProject = nullptr;

  bool Bind(HMODULE coreIde) {
    auto get = [coreIde](const char* name) { return reinterpret_cast<void*>(GetProcAddress(coreIde, name)); };
    newProject = reinterpret_cast<NewProjectFn>(get(Export::NewProject));
    freeProject = reinterpret_cast<FreeProjectFn>(get(Export::FreeProject));
    writeProject = reinterpret_cast<WriteProjectFn>(get(Export::WriteProject));
    return newProject && freeProject && writeProject;
  }
};

}  // namespace ProjectWriterDriver
