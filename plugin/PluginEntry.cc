// The plug-in's one exported symbol: the factory the host looks up by its
// plain name after loading the library.
//
// The library needs no load or unload hook: it keeps no process-wide state,
// so loading and unloading it have nothing to set up or tear down. The
// linker version script (rulescore_plugin.map) keeps every other symbol,
// standard-library template code included, out of the dynamic table.

#include <exception>
#include <new>

#include "host/ScoreTranslator.h"
#include "host/ScoringLog.h"
#include "plugin/RuleSetTranslator.h"

// The factory is a wall: nothing thrown inside crosses the C boundary into
// the host. A failure gives null and a trace line naming the reason.
extern "C" __attribute__((visibility("default"))) KtZembra_940::ScoreTranslator*
GiveMyTranslator() {
  try {
    return new KtZembra_940::RuleSetTranslator();
  } catch (const std::exception& e) {
    KtZembra_940::ScoringLog::GetInstance().TraceText(1, "GiveMyTranslator failed: %s",
                                                     e.what());
  } catch (...) {
    KtZembra_940::ScoringLog::GetInstance().TraceText(1, "GiveMyTranslator failed: %s",
                                                     "unknown exception");
  }
  return nullptr;
}
