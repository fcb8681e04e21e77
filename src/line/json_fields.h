#pragma once

// Reading the line's JSON files with messages that name the place at fault; for the line's
// own sources.

#include <algorithm>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "line/json_place.h"

namespace rv::json_fields {

using Json = nlohmann::ordered_json;

// A value the file may not hold, and where it is (a JSON pointer).
struct Refused {
    std::string place;
    std::string reason;
};

[[noreturn]] inline void refuse(std::string place, std::string reason) {
    throw Refused{std::move(place), std::move(reason)};
}

// The members of an object, each checked for its type; keys outside `known` are warned of.
class ObjectView {
  public:
    ObjectView(const Json& j, std::string place, std::initializer_list<const char*> known,
               std::vector<std::string>* warnings)
        : j_(j), place_(std::move(place)) {
        if (!j.is_object()) refuse(place_.empty() ? "/" : place_, "ожидается объект");
        if (warnings == nullptr) return;
        for (auto it = j.begin(); it != j.end(); ++it) {
            if (std::none_of(known.begin(), known.end(),
                             [&](const char* k) { return it.key() == k; })) {
                warnings->push_back(PointerTo(place_, it.key()) + ": неизвестный ключ пропущен");
            }
        }
    }

    // nullptr when the key is absent or null.
    const Json* optional(const char* key) const {
        const auto it = j_.find(key);
        return it == j_.end() || it->is_null() ? nullptr : &*it;
    }
    const Json& required(const char* key) const {
        const Json* value = optional(key);
        if (value == nullptr) refuse(at(key), "поле отсутствует");
        return *value;
    }
    std::string at(const char* key) const { return PointerTo(place_, key); }

    std::string text(const char* key) const {
        const Json& value = required(key);
        if (!value.is_string()) refuse(at(key), "ожидается строка");
        return value.get<std::string>();
    }
    long long number(const char* key, long long low, long long high) const {
        const Json& value = required(key);
        if (!value.is_number_integer()) refuse(at(key), "ожидается целое число");
        const bool huge = value.is_number_unsigned() && value.get<unsigned long long>() > 1ull
                                                                                              << 62;
        const long long n = huge ? high + 1 : value.get<long long>();
        if (n < low || n > high) {
            refuse(at(key), "значение " + value.dump() + " вне пределов (" + std::to_string(low) +
                                ".." + std::to_string(high) + ")");
        }
        return n;
    }

  private:
    const Json& j_;
    std::string place_;
};

}  // namespace rv::json_fields
