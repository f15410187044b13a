#pragma once

// The root of every framework object passed around in XpSharedPtr.
class XfObject {
 public:
  XfObject() = default;
  XfObject(const XfObject&) = delete;
  XfObject& operator=(const XfObject&) = delete;
  virtual ~XfObject();
};
