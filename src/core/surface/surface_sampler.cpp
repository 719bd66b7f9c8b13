#include "core/surface/surface_sampler.h"

#include "core/interp/script_engine.h"
#include "core/surface/provider.h"

namespace velmor {

ScriptPoint RunScriptPoint(CScriptEngine& engine, double x, double y) {
    engine.SetInputs(x, y);
    engine.Run(false);
    ScriptPoint point;
    point.compiled = engine.CompileErrorCount() == 0;
    double z = 0;
    point.assigned = engine.ZAssigned(&z);
    point.z = point.assigned ? z : 0.0;
    point.clean = engine.RunErrorCount() == 0;
    return point;
}

bool ProviderSampler::Sag(double x, double y, double* z) {
    if (m_provider.InterpreterMode()) {
        const ScriptPoint point = RunScriptPoint(m_provider.Engine(), x, y);
        if (!point.Valid()) return false;
        if (z != nullptr) *z = point.z;
        return true;
    }
    RecordPair& working = m_provider.Working();
    working.ud.x = x;
    working.ud.y = y;
    working.Type() = kRequestSag;
    if (m_provider.CallSurface(working) != 0) return false;
    if (z != nullptr) *z = working.ud.sag1;
    return true;
}

bool ProviderSampler::Index(double x, double y, double z, IndexSample* out) {
    if (m_provider.InterpreterMode()) return false;
    RecordPair& working = m_provider.Working();
    working.ud.x = x;
    working.ud.y = y;
    working.ud.z = z;
    working.Type() = kRequestIndex;
    if (m_provider.CallSurface(working) != 0) return false;
    if (out != nullptr) {
        out->index = working.ud.index;
        out->dndx = working.ud.dndx;
        out->dndy = working.ud.dndy;
        out->dndz = working.ud.dndz;
    }
    return true;
}

}  // namespace velmor
