#include "u_HostScript.h"

#include "u_TypeLib.h"

#include <cstring>

namespace {

// Member entries: [name, dispatch id, invoke kind, cached]. "cached" marks a property whose value
// stays the same object for the host object's life (the story object: the host creates it once
// and keeps it), so that a page asks for it once and a loop over external.Story costs one request
// per member it uses.
std::string MemberTable() {
    std::string table = "{";
    bool firstInterface = true;
    for (const TInterfaceDesc* desc : ScriptInterfaces()) {
        if (!firstInterface) table += ",";
        firstInterface = false;
        table += "\"";
        table += desc->Name;
        table += "\":[";
        bool firstMember = true;
        for (const TMemberDesc& member : desc->Members) {
            if (!firstMember) table += ",";
            firstMember = false;
            const bool cached = desc == &IHostExternalDesc() && std::strcmp(member.Name, "Story") == 0;
            table += "[\"" + std::string(member.Name) + "\"," + std::to_string(member.DispId) + "," +
                     std::to_string(member.Kind) + "," + (cached ? "1" : "0") + "]";
        }
        table += "]";
    }
    return table + "}";
}

constexpr const char* ScriptText = R"JS((function () {
'use strict';
var scheme = String(location.protocol).toLowerCase();
if (scheme !== 'mfs:' && scheme !== 'system:') return;
// The page's own scripts run later and may replace any of these; the proxies keep the originals.
var XHR = window.XMLHttpRequest, xOpen = XHR.prototype.open, xSend = XHR.prototype.send,
    xText = Object.getOwnPropertyDescriptor(XHR.prototype, 'responseText').get,
    apply = Reflect.apply, stringify = JSON.stringify, parse = JSON.parse, encode = encodeURIComponent,
    define = Object.defineProperty, create = Object.create, WeakMapCtor = WeakMap, MapCtor = Map,
    ErrorCtor = Error, TypeErrorCtor = TypeError, slice = Array.prototype.slice;
var table = @TABLE@;
var handles = new WeakMapCtor(), proxies = new MapCtor(), cache = new MapCtor(), prototypes = {}, seq = 0;
function request(op, body) {
  var x = new XHR();
  apply(xOpen, x, ['GET', 'vellumet-host:' + op + '?' + encode(stringify(body)), false]);
  apply(xSend, x, []);
  return parse(apply(xText, x, []));
}
function handleOf(object) {
  var h = handles.get(object);
  if (h === undefined) throw new TypeErrorCtor('Object is not a viewer object');
  return h;
}
function argument(v) {
  if (v !== null && (typeof v === 'object' || typeof v === 'function')) {
    var h = handles.get(v);
    if (h !== undefined) return {'$h': h};
  }
  return v === undefined ? null : v;
}
function call(h, id, kind, args) {
  // Arguments given as undefined at the end of a method call are left out, as if not written.
  var n = args.length, a = [];
  if (kind === 1) while (n > 0 && args[n - 1] === undefined) n--;
  for (var i = 0; i < n; i++) a.push(argument(args[i]));
  var r = request('call', {h: h, d: id, k: kind, a: a, u: String(location.href), s: ++seq});
  if (!r.ok) {
    var e = new ErrorCtor(r.m);
    e.description = r.m;
    e.number = r.c;
    throw e;
  }
  return value(r.v);
}
function value(v) {
  if (v !== null && typeof v === 'object' && v['$h'] !== undefined) return proxy(v['$h'], v['$i']);
  return v;
}
function prototypeOf(name) {
  if (prototypes[name]) return prototypes[name];
  var proto = {}, accessors = {}, members = table[name] || [];
  members.forEach(function (m) {
    var member = m[0], id = m[1], kind = m[2], cached = m[3];
    if (kind === 1) {
      define(proto, member, {value: function () { return call(handleOf(this), id, 1, apply(slice, arguments, [])); },
                             enumerable: true});
      return;
    }
    var a = accessors[member] || (accessors[member] = {enumerable: true});
    if (kind === 2) {
      a.get = cached ? function () {
        var h = handleOf(this), key = h + ':' + id;
        if (cache.has(key)) return cache.get(key);
        var v = call(h, id, 2, []);
        cache.set(key, v);
        return v;
      } : function () { return call(handleOf(this), id, 2, []); };
    } else {
      a.set = function (v) { call(handleOf(this), id, 4, [v]); };
    }
  });
  for (var member in accessors) define(proto, member, accessors[member]);
  return prototypes[name] = proto;
}
function proxy(h, name) {
  var p = proxies.get(h);
  if (p) return p;
  p = create(prototypeOf(name));
  handles.set(p, h);
  proxies.set(h, p);
  return p;
}
var root = proxy(0, 'IHostExternal');
try {
  define(window, 'external', {value: root, enumerable: true, configurable: false, writable: false});
} catch (e) {
  window.external = root;
}
if (window.top === window) {
  var closeWindow = function () { request('close', {u: String(location.href), s: ++seq}); };
  try {
    define(window, 'close', {value: closeWindow, enumerable: true, configurable: true, writable: true});
  } catch (e) {
    window.close = closeWindow;
  }
}
})();)JS";

} // namespace

const std::string& HostUserScript() {
    static const std::string script = [] {
        std::string text = ScriptText;
        const std::string marker = "@TABLE@";
        text.replace(text.find(marker), marker.size(), MemberTable());
        return text;
    }();
    return script;
}
