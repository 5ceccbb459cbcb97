#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright 2026 Orra. All rights reserved.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: qvl_unit
short_description: Configure the QVL units attached to a station
version_added: "1.0.0"
description:
  - Brings the settings of the QVL units attached to the target host (a
    station of a production line) to a preset, single settings and values of
    each unit's own, through the station's C(qvlctl) and its JSON output.
  - Every unit is read first. A unit that already holds what is asked is left
    alone; only a unit that held something else is written, and the task
    reports C(changed) only then. A write is read back and compared by
    C(qvlctl); the module counts a unit as written only when C(qvlctl) says it
    holds exactly what was asked.
  - Every unit's values are checked by C(qvlctl) before the first unit is
    written, so a value that is invalid for one unit leaves every unit of the
    host as it was.
  - A unit whose serial number changes between the read and the write (the
    operator swapped it) is not written.
  - Passwords and the Wi-Fi passphrase never appear in the results or the
    diff; the diff shows that they change.
options:
  port:
    description:
      - The serial ports of the units, for example C(/dev/serial/by-id/...).
        Every unit listed is configured.
      - Without I(port), I(serial) and I(all), the only unit attached is used
        (two or more are an error).
    type: list
    elements: str
  serial:
    description:
      - The attached unit (among I(port) when given) with this serial number.
    type: str
  all:
    description:
      - Every attached unit (every unit of I(port) when given).
    type: bool
    default: false
  preset:
    description:
      - A preset file on the station, as the QVL Utility saves it (C(*.all),
        C(*.wifi), or C(*.wwan) with I(group)). Its sections replace the
        unit's groups.
    type: path
  group:
    description:
      - The WWAN profile (1 to 4) a C(*.wwan) I(preset) goes to.
    type: int
    choices: [1, 2, 3, 4]
  settings:
    description:
      - Single settings by C(qvlctl) key, for example C(wwan1.apn) or
        C(wifi.passphrase), over the I(preset). See C(man qvlctl) for the
        keys. An index field (C(authtype), C(pdptype), C(security),
        C(pwtype)) takes its number or its list item (C(CHAP)).
    type: dict
  values:
    description:
      - The values of single units, by serial number (quote it in YAML), each
        a dict like I(settings) that goes over I(preset) and I(settings).
      - A line keeps them in a vault-encrypted vars file; they hold the
        units' passphrases.
    type: dict
  require_values:
    description:
      - Refuse a unit that has no entry in I(values); no unit is written then.
    type: bool
    default: false
  qvlctl:
    description:
      - The C(qvlctl) program on the station, a path or a name looked up in
        C(PATH).
    type: path
    default: qvlctl
  log_dir:
    description:
      - The folder C(qvlctl) runs in, where its log C(Orra_QVL_Utility_log.txt)
        goes. The log holds every value written, passwords included, and is
        private to its owner.
    type: path
    default: "~"
notes:
  - Secret values given in I(settings) or I(values) are masked wherever they
    appear in the task's output, as Ansible does for every C(no_log) value.
  - Check mode reads the units and checks the values with C(qvlctl)'s dry run;
    nothing is sent that changes a unit.
attributes:
  check_mode:
    description: Reads the units and checks the values; writes nothing.
    support: full
  diff_mode:
    description: Shows each unit's changed fields before and after, secrets masked.
    support: full
requirements:
  - qvlctl (the QVL Utility package) on the station
author:
  - Orra QVL Utility maintainers (@orra)
'''

EXAMPLES = r'''
- name: Write the line's preset to every unit of the station, with each unit's passphrase
  orra.qvl.qvl_unit:
    all: true
    preset: /var/lib/qvl-line/line7.all
    values:
      "20260001":
        wifi.passphrase: "{{ vault_passphrases['20260001'] }}"
      "20260002":
        wifi.passphrase: "{{ vault_passphrases['20260002'] }}"
    require_values: true
  register: provision

- name: Set the APN of the first profile on the unit at a given port
  orra.qvl.qvl_unit:
    port: /dev/serial/by-id/usb-Orra_QVL_20260001-if00
    settings:
      wwan1.apn: internet.m2m
      wwan1.authtype: CHAP
'''

RETURN = r'''
units:
  description: One entry per unit, in port order.
  returned: always
  type: list
  elements: dict
  contains:
    port:
      description: The unit's serial port.
      type: str
      sample: /dev/ttyACM0
    serial:
      description: The unit's serial number (empty when it could not be read).
      type: str
      sample: "20260001"
    version:
      description: The unit's firmware version.
      type: str
      sample: 1.0.4
    mcuid:
      description: The unit's MCU ID.
      type: str
      sample: 0123ABCD
    changed:
      description: The unit held something else than was asked.
      type: bool
    changed_fields:
      description: The keys of the fields that differ (or differed), in the unit's order.
      type: list
      elements: str
      sample: [wwan1.apn, wifi.passphrase]
    result:
      description: C(unchanged), C(written), C(would write) (check mode), C(not written) or C(failed).
      type: str
      sample: written
    msg:
      description: Why the unit failed or was not written.
      type: str
      returned: when the unit failed or was not written
    rc:
      description: The exit status of the C(qvlctl) run that failed (see C(man qvlctl)).
      type: int
      returned: when the unit failed
msg:
  description: What the task came to.
  returned: always
  type: str
  sample: 2 units, 1 written, 1 unchanged
'''

import json
import os
import re

from ansible.module_utils.basic import AnsibleModule

# The unit's 24 fields by qvlctl key, in the order the unit lists them.
WWAN_KEYS = ('apn', 'username', 'password', 'authtype', 'pdptype')
WIFI_KEYS = ('ssid', 'security', 'pwtype', 'passphrase')
FIELDS = tuple('wwan%d.%s' % (n, k) for n in range(1, 5) for k in WWAN_KEYS) + \
    tuple('wifi.%s' % k for k in WIFI_KEYS)
SECRET_FIELDS = frozenset(f for f in FIELDS if f.endswith('.password') or f.endswith('.passphrase'))
# The unit's own names for the fields, which qvlctl takes too.
ALIASES = {
    'wwan': {'user': 'username', 'pw': 'password', 'auth': 'authtype', 'pdp': 'pdptype'},
    'wifi': {'sec': 'security', 'pw_type': 'pwtype', 'pw': 'passphrase'},
}
# The list items of the index fields, by position.
INDEX_LABELS = {
    'authtype': ('none', 'CHAP', 'PAP'),
    'pdptype': ('IPV4', 'IPV6', 'IPV4V6'),
    'security': ('none', 'WPA2-PSK (AES)'),
    'pwtype': ('ASCII', 'HEX'),
}
# How a preset file names the groups and their keys.
WWAN_PRESET_KEYS = ('APN', 'USERNAME', 'PASSWORD', 'AUTHTYPE', 'PDPTYPE')
WIFI_PRESET_KEYS = ('SSID', 'PASSPHRASE', 'SECURITY', 'PWTYPE')
PRESET_MAX_BYTES = 4 * 1024 * 1024
PRESET_MAX_LINES = 20000
PRESET_MAX_VALUE = 1023
MASK = '********'


class QvlError(Exception):
    """A failure that ends the task before any unit is written."""


def field_key(key):
    """The canonical qvlctl key ("wwan1.apn") for a key as a user may write it."""
    text = str(key).strip().lower()
    group, dot, name = text.partition('.')
    if not dot:
        return None
    family = 'wifi' if group == 'wifi' else ('wwan' if re.match(r'^wwan[1-4]$', group) else None)
    if family is None:
        return None
    name = ALIASES[family].get(name, name)
    canonical = '%s.%s' % (group, name)
    return canonical if canonical in FIELDS else None


def field_value(key, value):
    """A setting's value as the unit holds it: text, an index field as its number."""
    if isinstance(value, bool) or (value is not None and not isinstance(value, (str, int))):
        raise QvlError('%s: give text or a number, not %s (quote it in YAML)' % (key, type(value).__name__))
    text = '' if value is None else str(value)
    if '\r' in text or '\n' in text:
        raise QvlError('%s: a value cannot hold a line break' % key)
    labels = INDEX_LABELS.get(key.split('.', 1)[1])
    if labels is None:
        return text
    if re.match(r'^[0-9]+$', text) and int(text) < len(labels):
        return str(int(text))
    for index, label in enumerate(labels):
        if text.lower() == label.lower():
            return str(index)
    raise QvlError('%s: Please enter one of %s.' % (
        key, ', '.join('%d (%s)' % (i, label) for i, label in enumerate(labels))))


def settings_dict(settings, where):
    """Settings as given (a dict of qvlctl keys) as canonical key -> value."""
    out = {}
    for key, value in (settings or {}).items():
        canonical = field_key(key)
        if canonical is None:
            raise QvlError('%sunknown key "%s" (keys are wwan1.apn ... wwan4.pdptype, wifi.ssid ... wifi.pwtype)'
                           % (where, key))
        out[canonical] = field_value(canonical, value)
    return out


# ---- Preset files ----------------------------------------------------------

def decode_preset(data):
    """The text of a preset file: UTF-16LE or UTF-8 after a byte-order mark,
    otherwise UTF-8 in which a byte that is not valid UTF-8 reads as Latin-1."""
    if data[:2] == b'\xff\xfe':
        body = data[2:]
        return body[:len(body) - len(body) % 2].decode('utf-16-le', 'replace')
    if data[:3] == b'\xef\xbb\xbf':
        data = data[3:]
    text = data.decode('utf-8', 'surrogateescape')
    return re.sub('[\udc80-\udcff]', lambda m: chr(ord(m.group(0)) - 0xdc00), text)


def parse_preset(text):
    """Sections in file order: a list of (name, [(key, value), ...])."""
    lines = text.split('\n')
    if lines and lines[-1] == '':
        lines.pop()
    if len(lines) > PRESET_MAX_LINES:
        raise QvlError('more than %d lines (a preset has at most %d lines)' % (PRESET_MAX_LINES, PRESET_MAX_LINES))
    sections = []
    for line in lines:
        if line.endswith('\r'):
            line = line[:-1]
        stripped = line.lstrip(' \t')
        if not stripped or stripped[0] in ';#':
            continue
        if stripped[0] == '[':
            close = stripped.rfind(']')
            if close >= 0:
                sections.append((stripped[1:close].strip(' \t'), []))
            continue
        name, eq, value = stripped.partition('=')
        name = name.strip(' \t')
        if not eq or not name or not sections:
            continue
        value = value.strip(' \t')
        if len(value) >= 2 and value[0] in '"\'' and value[-1] == value[0]:
            value = value[1:-1]
        sections[-1][1].append((name, value[:PRESET_MAX_VALUE]))
    return sections


def preset_fields(path, group):
    """The fields a preset file sets, as canonical key -> value. Each section
    it holds must have all its keys; an index key holds its list position."""
    try:
        with open(path, 'rb') as preset:
            data = preset.read(PRESET_MAX_BYTES + 1)
    except (IOError, OSError) as e:
        raise QvlError('%s: %s' % (path, e.strerror or e))
    if len(data) > PRESET_MAX_BYTES:
        raise QvlError('%s: larger than the 4 MiB a preset may have' % path)
    try:
        sections = parse_preset(decode_preset(data))
    except QvlError as e:
        raise QvlError('%s: %s' % (path, e))

    names = [name for name, _ in sections]

    def lookup(section, key):
        for name, keys in sections:
            if name.lower() == section.lower():
                for k, v in keys:
                    if k.lower() == key.lower():
                        return v
                return None
        return None

    extension = os.path.splitext(path)[1].lower()
    if extension == '.wwan' and group is None:
        raise QvlError('a *.wwan preset holds one profile: say which with group (1 to 4)')
    if extension != '.wwan' and group is not None:
        raise QvlError('group is for *.wwan presets only')
    wanted = []   # (section in the file, qvlctl group prefix, preset keys)
    if extension == '.wwan':
        wanted.append(('WWAN', 'wwan%d' % group, WWAN_PRESET_KEYS))
    elif extension == '.wifi':
        wanted.append(('Wi-Fi', 'wifi', WIFI_PRESET_KEYS))
    else:
        wanted.extend(('WWAN%d' % n, 'wwan%d' % n, WWAN_PRESET_KEYS) for n in range(1, 5))
        wanted.append(('Wi-Fi', 'wifi', WIFI_PRESET_KEYS))
    fields = {}
    for section, prefix, keys in wanted:
        if section not in names:
            continue
        for key in keys:
            value = lookup(section, key)
            if value is None:
                raise QvlError('%s: [%s] %s is missing (is the file cut?)' % (path, section, key))
            canonical = '%s.%s' % (prefix, key.lower())
            labels = INDEX_LABELS.get(key.lower())
            if labels is not None and value not in [str(i) for i in range(len(labels))]:
                raise QvlError('%s: [%s] %s=%s: Please enter one of %s.' % (
                    path, section, key, value, ', '.join('%d (%s)' % (i, l) for i, l in enumerate(labels))))
            fields[canonical] = value
    if not fields:
        raise QvlError('%s: no %s section' % (path, ' or '.join('[%s]' % w[0] for w in wanted)
                                               if len(wanted) == 1 else '[WWAN1] to [WWAN4] or [Wi-Fi]'))
    return fields


def preset_text(state):
    """A whole *.all preset holding state, read back by qvlctl exactly."""
    def stored(value):
        if value != value.strip(' \t') or (len(value) >= 2 and value[0] in '"\'' and value[-1] == value[0]):
            return '"%s"' % value
        return value

    out = []
    for n in range(1, 5):
        out.append('[WWAN%d]' % n)
        out.extend('%s=%s' % (k, stored(state['wwan%d.%s' % (n, k.lower())])) for k in WWAN_PRESET_KEYS)
        out.append('')
    out.append('[Wi-Fi]')
    out.extend('%s=%s' % (k, stored(state['wifi.%s' % k.lower()])) for k in WIFI_PRESET_KEYS)
    return '\r\n'.join(out) + '\r\n'


# ---- qvlctl ----------------------------------------------------------------

def json_documents(text):
    """The JSON documents qvlctl printed, one after another."""
    decoder = json.JSONDecoder()
    docs = []
    pos = 0
    text = text.strip()
    while pos < len(text):
        doc, end = decoder.raw_decode(text, pos)
        docs.append(doc)
        pos = end
        while pos < len(text) and text[pos].isspace():
            pos += 1
    return docs


def unit_state(doc):
    """The 24 fields of a unit from `qvlctl --json get`, as text."""
    state = {}
    for key in FIELDS:
        group, name = key.split('.')
        value = doc.get(group, {}).get(name)
        if value is None:
            raise QvlError('qvlctl reported no %s' % key)
        state[key] = str(value)
    return state


def dry_run_state(doc):
    """The 24 fields a `qvlctl --json write --dry-run --show-secrets` run would send."""
    state = {}
    names = {}
    for key in FIELDS:
        group, name = key.split('.')
        token = 'w' if group == 'wifi' else group[4:]
        wire = [w for w, n in ALIASES['wifi' if group == 'wifi' else 'wwan'].items() if n == name]
        names['%s %s' % (token, wire[0] if wire else name)] = key
    for line in doc.get('lines', []):
        parts = line.split(' ', 3)
        if len(parts) >= 3 and parts[0] == 'set':
            key = names.get('%s %s' % (parts[1], parts[2]))
            if key is not None:
                state[key] = parts[3] if len(parts) > 3 else ''
    return state


class Qvlctl(object):
    def __init__(self, module, program, log_dir):
        self.module = module
        self.program = program
        self.log_dir = log_dir

    def run(self, args):
        """Runs qvlctl --json ARGS; its exit status and the documents it printed."""
        rc, out, err = self.module.run_command([self.program, '--json'] + args, cwd=self.log_dir)
        try:
            docs = json_documents(out)
        except ValueError:
            # Its standard output is never quoted: it may be a get (every
            # password of the unit) or a dry run with --show-secrets.
            raise QvlError('qvlctl printed no JSON (exit %d): %s' % (rc, err.strip() or 'nothing on standard error'))
        return rc, docs, err.strip()


def selection_args(params):
    args = ['--port=%s' % p for p in params['port'] or []]
    if params['serial']:
        args.append('--serial=%s' % params['serial'])
    elif params['all'] or params['port']:
        args.append('--all')
    return args


def field_lines(state, keys, secret_text):
    lines = []
    for key in keys:
        if key in SECRET_FIELDS:
            lines.append('%s: %s\n' % (key, secret_text if state[key] else '""'))
        else:
            lines.append('%s: %s\n' % (key, json.dumps(state[key])))
    return ''.join(lines)


def unit_diff(unit, current, wanted, changed_fields):
    header = '%s %s' % (unit['port'], unit['serial'])
    return {
        'before_header': header,
        'after_header': header,
        'before': field_lines(current, changed_fields, MASK),
        'after': field_lines(wanted, changed_fields, MASK + ' (changed)'),
    }


def main():
    module = AnsibleModule(
        argument_spec=dict(
            port=dict(type='list', elements='str'),
            serial=dict(type='str'),
            all=dict(type='bool', default=False),
            preset=dict(type='path'),
            group=dict(type='int', choices=[1, 2, 3, 4]),
            settings=dict(type='dict', no_log=True),
            values=dict(type='dict', no_log=True),
            require_values=dict(type='bool', default=False),
            qvlctl=dict(type='path', default='qvlctl'),
            log_dir=dict(type='path', default='~'),
        ),
        mutually_exclusive=[('serial', 'all')],
        required_one_of=[('preset', 'settings', 'values')],
        supports_check_mode=True,
    )
    params = module.params
    # settings and values are no_log as a whole, so that Ansible never logs
    # them; in the results only the secret fields need hiding, or every APN
    # and index number would be masked wherever it appears.
    secrets = set()
    for field_set in [params['settings'] or {}] + list((params['values'] or {}).values()):
        if isinstance(field_set, dict):
            for key, value in field_set.items():
                if field_key(key) in SECRET_FIELDS and value not in (None, ''):
                    secrets.add(str(value))
    module.no_log_values.clear()
    module.no_log_values.update(secrets)

    units = []
    result = dict(changed=False, units=units, msg='')
    try:
        given = settings_dict(params['settings'], 'settings: ')
        values = {}
        for serial, fields in (params['values'] or {}).items():
            if not isinstance(fields, dict):
                raise QvlError('values: the entry of %s is not a dict of settings' % serial)
            values[str(serial)] = settings_dict(fields, 'values[%s]: ' % serial)
        preset = preset_fields(params['preset'], params['group']) if params['preset'] else {}
        program = params['qvlctl']
        if '/' not in program:
            program = module.get_bin_path(program, required=True)
        log_dir = params['log_dir']
        if not os.path.isdir(log_dir):
            raise QvlError('log_dir %s is not a folder' % log_dir)
        ctl = Qvlctl(module, program, log_dir)
        run_units(module, ctl, params, preset, given, values, units, result)
    except QvlError as e:
        result['msg'] = str(e)
        module.fail_json(**result)

    failed = [u for u in units if u['result'] in ('failed', 'not written')]
    if failed:
        module.fail_json(**result)
    module.exit_json(**result)


def stop_all(units, plans, culprits, result):
    """Nothing is written when any unit's values are refused."""
    for unit, _, _ in plans:
        if unit not in culprits:
            unit.update(result='not written', msg='not written: the values for %s are refused' % culprits[0]['port'])
    result['msg'] = '; '.join('%s: %s' % (u['port'], u['msg']) for u in culprits)


def run_units(module, ctl, params, preset, given, values, units, result):
    # Every unit as it is now.
    rc, docs, err = ctl.run(selection_args(params) + ['get'])
    for doc in docs:
        if 'error' in doc and 'port' not in doc:
            raise QvlError('%s (qvlctl exit %d)' % (doc['error'], rc))
    if not docs:
        raise QvlError('qvlctl read no unit (exit %d): %s' % (rc, err))

    plans = []      # (unit, current, wanted) of the units that change
    culprits = []   # units whose values are refused
    for doc in docs:
        unit = dict(port=doc.get('port', ''), serial=doc.get('serial', ''), version=doc.get('version', ''),
                    mcuid=doc.get('mcuid', ''), changed=False, changed_fields=[], result='failed')
        units.append(unit)
        if 'error' in doc:
            unit.update(msg=doc['error'], rc=rc)
            continue
        current = unit_state(doc)
        if params['require_values'] and unit['serial'] not in values:
            unit.update(msg='no values for serial number %s' % unit['serial'])
            culprits.append(unit)
            continue
        wanted = dict(current)
        wanted.update(preset)
        wanted.update(given)
        wanted.update(values.get(unit['serial'], {}))
        unit['changed_fields'] = [k for k in FIELDS if wanted[k] != current[k]]
        unit['changed'] = bool(unit['changed_fields'])
        unit['result'] = 'unchanged'
        if unit['changed']:
            plans.append((unit, current, wanted))
    result['changed'] = bool(plans) and module.check_mode
    if module._diff:
        result['diff'] = [unit_diff(u, c, w, u['changed_fields']) for u, c, w in plans]

    # Every unit's values are checked by qvlctl (a dry run of the preset
    # that will be written) before the first unit is written: one unit's
    # refused values leave every unit as it was.
    files = {}
    for unit, current, wanted in plans:
        path = os.path.join(module.tmpdir, 'unit-%d.all' % len(files))
        fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
        with os.fdopen(fd, 'w') as preset_file:
            preset_file.write(preset_text(wanted))
        files[unit['port']] = path
        rc, docs, err = ctl.run(['--port=%s' % unit['port'], '--serial=%s' % unit['serial'],
                                 'write', '--dry-run', '--show-secrets', path])
        doc = docs[0] if docs else {}
        if rc != 0 or 'error' in doc:
            unit.update(result='failed', rc=rc, msg=doc.get('error', err))
            culprits.append(unit)
        elif dry_run_state(doc) != wanted:
            unit.update(result='failed', rc=rc, msg='qvlctl reads the values otherwise than they were given')
            culprits.append(unit)
    if culprits:
        stop_all(units, plans, culprits, result)
        return

    for unit, current, wanted in plans:
        if module.check_mode:
            unit['result'] = 'would write'
            continue
        rc, docs, err = ctl.run(['--port=%s' % unit['port'], '--serial=%s' % unit['serial'],
                                 'write', files[unit['port']]])
        doc = docs[0] if docs else {}
        if rc == 0 and doc.get('result') == 'written' and doc.get('serial') == unit['serial']:
            unit['result'] = 'written'
            result['changed'] = True
        else:
            unit.update(result='failed', rc=rc, msg=doc.get('error', err or 'qvlctl did not say "written"'))

    counts = {}
    for unit in units:
        counts[unit['result']] = counts.get(unit['result'], 0) + 1
    summary = ', '.join('%d %s' % (n, r) for r, n in sorted(counts.items()))
    failures = '; '.join('%s: %s' % (u['port'], u['msg']) for u in units if u['result'] == 'failed')
    result['msg'] = '%d unit%s, %s%s' % (len(units), '' if len(units) == 1 else 's', summary,
                                        ('; ' + failures) if failures else '')


if __name__ == '__main__':
    main()
