// One Skelder session as an application and its scripts make it: the application creates its
// instance, session and space through the plug-in's lookup and asks for the blend modes; scripts
// make a layer of every kind, cycle their images and set foveation; three frames end; scripts
// destroy one layer; the plug-in is unloaded; then the application tears down what it made.
// Skelder's objects are linked in.
#pragma once

#include "FaultSweep.h"

namespace quenra::test {

class ScriptedSkelderSession : public ScriptedSession {
public:
    SessionOutcome Run(const std::function<void(simruntime::Runtime&)>& arm) override;
};

} // namespace quenra::test
