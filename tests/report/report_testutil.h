// Shared helpers of the report tests: values as short texts, one-shot evaluation.
#pragma once

#include <string>
#include <string_view>

#include "report/base/format.h"
#include "report/expr/environment.h"
#include "report/expr/expr.h"

namespace strandel::report::test {

// "I:7", "D:2.5", "S:abc", "B:true", "E:message".
inline std::string Show(const TPgxEvResult &r)
{
    switch (r.Kind) {
    case resInt: return "I:" + std::to_string(r.IntResult);
    case resDouble: return "D:" + PgxFloatToStr(r.DoubleResult, PgxFormatSettings());
    case resString: return "S:" + r.StringResult;
    case resBool: return r.BooleanResult ? "B:true" : "B:false";
    default: return "E:" + r.StringResult;
    }
}

inline std::string Eval(std::string_view text, TPgxEvEnvironment *env = nullptr,
                        std::vector<const PgxDataSet *> datasets = {})
{
    TPgxEvaluator ev;
    ev.Environment = env;
    ev.Datasets = std::move(datasets);
    ev.Prepare(text);
    return Show(ev.Value());
}

} // namespace strandel::report::test
