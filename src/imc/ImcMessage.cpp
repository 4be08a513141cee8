#include "imc/ImcMessage.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "imc/ImcCodes.h"

namespace holv {

ImcVarBind::~ImcVarBind() {
    std::unique_ptr<ImcVarBind> rest = std::move(next);
    while (rest) rest = std::move(rest->next);
}

void ImcSetFlags(ImcMessage& message, uint32_t flags) {
    message.flags = flags;
}

namespace {

// std::string and std::vector report exhaustion by throwing; nothing may
// leave the module that way, so each building operation turns it into a code.
template <typename F>
int Guarded(F&& f) {
    try {
        return f();
    } catch (const std::bad_alloc&) {
        return ImcErrNoMemory;
    }
}

int EnsurePdu(ImcMessage& message) {
    if (!message.pdu) message.pdu.reset(new (std::nothrow) ImcPdu);
    return message.pdu ? ImcErrNone : ImcErrNoMemory;
}

// Stores the value `value` points to, by type. Returns ImcErrMalformed when
// the value cannot be carried.
int StoreValue(ImcVarBind& bind, const void* value, int length) {
    if (ImcIsIntegerType(bind.type)) {
        std::memcpy(&bind.number, value, sizeof bind.number);
    } else if (bind.type == ImcTagIpAddress) {
        std::memcpy(bind.address, value, sizeof bind.address);
    } else if (bind.type == ImcTagOctetString) {
        const auto* bytes = static_cast<const uint8_t*>(value);
        size_t n = length < 0 ? std::strlen(static_cast<const char*>(value)) : static_cast<size_t>(length);
        bind.bytes.assign(bytes, bytes + n);
    } else if (bind.type == ImcTagOid) {
        if (length < 0 || length > ImcOidCapacity) return ImcErrMalformed;
        std::memcpy(bind.oid.ids, value, sizeof(uint32_t) * static_cast<size_t>(length));
        bind.oid.count = length;
    } else if (bind.type != ImcTagNull) {
        return ImcErrMalformed;  // kept: encoding refuses it
    }
    return ImcErrNone;
}

}  // namespace

int ImcSetPduType(ImcMessage& message, uint8_t type) {
    int rc = EnsurePdu(message);
    if (rc == ImcErrNone) message.pdu->type = type;
    return rc;
}

int ImcSetCommunity(ImcMessage& message, const char* user, const char* password) {
    return Guarded([&] {
        int rc = EnsurePdu(message);
        if (rc != ImcErrNone) return rc;
        std::string community = user ? user : "";
        community += ':';
        community += password ? password : "";
        message.pdu->community = std::move(community);
        return ImcErrNone;
    });
}

int ImcAddVarBind(ImcMessage& message, uint32_t group, uint32_t item, uint8_t type,
                  const void* value, int length) {
    return Guarded([&] {
        std::unique_ptr<ImcVarBind> bind(new (std::nothrow) ImcVarBind);
        if (!bind) return ImcErrNoMemory;
        bind->name = ImcVariableName(group, item);
        bind->type = value ? type : ImcTagNull;
        int rc = value ? StoreValue(*bind, value, length) : ImcErrNone;
        bind->next = std::move(message.varBinds);
        message.varBinds = std::move(bind);
        return rc;
    });
}

int ImcSetLocalHostName(ImcMessage& message, const char* name) {
    if (!name) return ImcErrNone;
    return Guarded([&] {
        message.localHostName = name;
        message.flags |= ImcFlagLocalHostName;
        return ImcErrNone;
    });
}

int ImcSetBlock16(ImcMessage& message, const uint8_t* block) {
    if (!block) return ImcErrNone;
    if (!message.block16) message.block16.reset(new (std::nothrow) ImcBlock16);
    if (!message.block16) return ImcErrNoMemory;
    std::memcpy(message.block16->data(), block, message.block16->size());
    message.flags |= ImcFlagBlock16;
    return ImcErrNone;
}

int ImcSetBlock128(ImcMessage& message, const uint8_t* block) {
    if (!block) return ImcErrNone;
    if (!message.block128) message.block128.reset(new (std::nothrow) ImcBlock128);
    if (!message.block128) return ImcErrNoMemory;
    std::memcpy(message.block128->data(), block, message.block128->size());
    message.flags |= ImcFlagBlock128;
    return ImcErrNone;
}

namespace {

int CopyValue(const ImcVarBind& bind, void* destination, int capacity, int* length) {
    if (capacity < 0) capacity = 0;
    if (ImcIsIntegerType(bind.type) || bind.type == ImcTagIpAddress) {
        if (capacity < 4) return ImcErrEncode;
        std::memcpy(destination, ImcIsIntegerType(bind.type) ? static_cast<const void*>(&bind.number)
                                                              : static_cast<const void*>(bind.address),
                    4);
        return ImcErrNone;
    }
    if (bind.type == ImcTagOctetString) {
        int actual = static_cast<int>(bind.bytes.size());
        if (length) {
            int n = std::max(0, std::min({*length, actual, capacity}));
            if (n > 0) std::memcpy(destination, bind.bytes.data(), static_cast<size_t>(n));
            *length = n;
            return ImcErrNone;
        }
        // A text for the caller: cut to the room left for the terminator.
        if (capacity < 1) return ImcErrEncode;
        int n = std::min(actual, capacity - 1);
        if (n > 0) std::memcpy(destination, bind.bytes.data(), static_cast<size_t>(n));
        static_cast<char*>(destination)[n] = '\0';
        return ImcErrNone;
    }
    if (bind.type == ImcTagNull) return ImcErrNone;
    if (bind.type == ImcTagOid) {
        int allowed = (length && *length < bind.oid.count) ? *length : bind.oid.count;
        allowed = std::min(allowed, capacity / static_cast<int>(sizeof(uint32_t)));
        if (allowed < bind.oid.count) return ImcErrEncode;
        std::memcpy(destination, bind.oid.ids, sizeof(uint32_t) * static_cast<size_t>(bind.oid.count));
        if (length) *length = bind.oid.count;
        return ImcErrNone;
    }
    return ImcErrMalformed;
}

}  // namespace

int ImcTakeValue(ImcMessage& message, uint8_t type, void* destination, int capacity, int* length) {
    if (!message.varBinds) return ImcErrMalformed;
    std::unique_ptr<ImcVarBind> bind = std::move(message.varBinds);
    message.varBinds = std::move(bind->next);
    if (type != 0 && type != bind->type) return ImcErrMalformed;
    if (!destination) return ImcErrNone;
    return CopyValue(*bind, destination, capacity, length);
}

}  // namespace holv
