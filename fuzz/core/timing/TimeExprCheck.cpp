#include "TimeExprCheck.h"

#include "core/timing/Clock.h"
#include "core/timing/FormatText.h"
#include "core/timing/TimeExpression.h"

#include <cstring>
#include <string_view>

namespace mv {

std::string CheckTimeExpressionInput(const std::uint8_t* data, std::size_t size) {
    TSimulatedClock clock(EncodeDateTime(2024, 5, 15, 10, 35, 20, 0));
    TScopedClock scoped(clock);

    std::int32_t ref = 0;
    if (size >= 4) {
        std::uint32_t raw;
        std::memcpy(&raw, data, 4);
        ref = static_cast<std::int32_t>(raw);
        data += 4;
        size -= 4;
    }
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // A result lies on the time scale, or it is reported as EConvertError.
    try {
        const EpochSeconds s = EvalTimeExpression(text, EpochSeconds(ref));
        if (DateTimeToEpochSeconds(EpochSecondsToDateTime(s)) != s)
            return "the result does not convert back to itself";
        if (FormatText("%j", {s}).size() != 19) return "the %j stamp is not 19 characters";
        if (EvalTimeExpression(text, EpochSeconds(ref)) != s) return "a second evaluation differs";
    } catch (const EConvertError&) {
    }

    // Texts that parse read back what they write.
    if (const auto t = TryStrToDateTime(text)) {
        const std::string written = DateTimeToStr(*t);
        const auto back = TryStrToDateTime(written);
        if (!back) return "DateTimeToStr wrote '" + written + "', which does not read back";
        if (DateTimeToStr(*back) != written)
            return "'" + written + "' reads back as '" + DateTimeToStr(*back) + "'";
    }
    if (const auto t = TryStrToTime(text)) {
        if (*t < 0 || *t >= 1) return "a time of day outside 0 .. 1";
        const std::string written = TimeToStr(*t);
        if (TimeToStr(StrToTime(written)) != written) return "'" + written + "' does not read back";
    }
    return {};
}

}  // namespace mv
