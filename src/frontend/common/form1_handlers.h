// The main window's handlers, as both front ends' windows have them. Each
// runs to its end before the next event is handled.
#pragma once

namespace tidwen::frontend {

class Form1Handlers {
 public:
  virtual ~Form1Handlers() = default;
  virtual void Form_Load() = 0;       // the junk types, all checked; the types view
  virtual void Command1_Click() = 0;  // scan
  virtual void Command2_Click() = 0;  // delete the checked results
  virtual void Command3_Click() = 0;  // back to choosing types; empties the results
  virtual void Command4_Click() = 0;  // exit
  virtual void Command5_Click() = 0;  // check every result and junk types 0 to 14
  virtual void Command6_Click() = 0;  // about
};

}  // namespace tidwen::frontend
