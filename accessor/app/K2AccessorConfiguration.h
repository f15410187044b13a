#pragma once

// The application's configuration holder. It holds nothing yet; Reset runs
// when the application is made and again when it stops.
class K2AccessorConfiguration {
 public:
  K2AccessorConfiguration();
  virtual ~K2AccessorConfiguration();

  void Reset();
};
