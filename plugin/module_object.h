// CRunvaneApp: the one module object. Constructed when the library is
// loaded; InitInstance and ExitInstance run when it is loaded and unloaded
// and touch nothing of the loading thread (COM is the exports' business).
#pragma once

class CRunvaneApp {
 public:
  CRunvaneApp() = default;
  virtual ~CRunvaneApp() = default;
  virtual int InitInstance();
  virtual int ExitInstance();
};

// The module's global instance (defined with the load and unload hooks).
extern CRunvaneApp theApp;
