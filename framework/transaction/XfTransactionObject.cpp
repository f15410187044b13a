#include "framework/transaction/XfTransactionObject.h"

XfTransactionObject::~XfTransactionObject() = default;
