#include "protocol/Fields.h"

namespace ht6630 {

bool FieldValues::empty() const {
    return !barCode && !dataCentre && !spareCentre && !temperature && !humidity && !firmware && !acquisitionMinutes &&
           !uploadMinutes && !heartbeatSeconds && !commType && !silenceChoice && !silenceDates && !clock;
}

}  // namespace ht6630
