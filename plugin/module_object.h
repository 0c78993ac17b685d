// CRunvaneApp: the one module object. Constructed when the library is
// loaded; InitInstance initialises COM on the loading thread for the DOM
// component, ExitInstance ends it when the library is unloaded.
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
