#include "protocol/fields.h"

namespace ht6630 {

bool FieldValues::empty() const {
    return !txtBarCode && !txtIp && !txtSpareIp && !txtTemp && !txtHumi && !txtVer && !txtCJ &&
           !txtSC && !txtHeartbeat && !Combo1 && !optEnabled && !txtDate && !Txtrq;
}

}  // namespace ht6630
