# -*- coding: utf-8 -*-
# kesp_network: makes an appliance's network match a state document by
# running `kesp_config_net apply --json`; the tool does every check and the
# change itself, this module only hands it the document and reports back.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: kesp_network
short_description: Make an appliance's network match a desired state
description:
  - Hands a network state document to C(kesp_config_net apply) and reports what
    it changed. Interfaces, name servers, host name and HTTP proxy change
    together as one change, all or nothing; on a running appliance only the
    interfaces whose configuration changes are restarted.
  - Keys the document leaves out are not managed. An interface it does not
    name stays as it is.
  - A document with an unknown key, a bad value or an interface the appliance
    cannot configure is refused before anything is touched, and the module
    fails with the tool's message, which names the key (for example
    C(interfaces.eth0.ipv4.address)).
version_added: "1.0.0"
author:
  - kesp developers
options:
  state:
    description:
      - The desired network state, in the form C(kesp_config_net export)
        prints.
      - C(interfaces) maps interface names to C(mode) (such as C(STATICV4),
        C(DHCPV4+AUTOV6)) and, for static modes, C(ipv4) and C(ipv6) with
        C(address), C(prefix) and C(gateway).
      - C(dns) is the list of name servers, C(hostname) the host name,
        C(proxy) has C(host), C(port), C(user) and optionally
        C(password_file) (a C(host) of "" removes the proxy).
      - Required unless I(confirm) is set.
    type: dict
  confirm_within:
    description:
      - Seconds within which the change must be confirmed (a running
        appliance only). The change is made as always and then stays
        pending; unless a later task with I(confirm) keeps it in time, the
        appliance puts the old settings back by itself (a timer or a watcher,
        and at boot), even when the play never reaches it again.
      - Confirm in a second task, after a new connection has proved that the
        appliance is reachable with its new settings (see the examples).
    type: int
  confirm:
    description:
      - Keep the change that an earlier task made with I(confirm_within).
        Reports changed when there was one to keep; nothing pending is no
        failure.
    type: bool
    default: false
  root:
    description:
      - Directory of an offline image to change instead of the running
        system. Only its files are read and written; nothing is restarted.
    type: path
  wait:
    description:
      - Seconds to wait for a change already in progress before failing.
    type: int
  proxy_password:
    description:
      - The proxy password, handed to the tool on its standard input. Without
        it (and without C(password_file)) the stored password is kept.
    type: str
  executable:
    description:
      - Path of the kesp_config_net program.
    type: path
    default: /opt/tolvex/share/kesp/kesp_config_net
attributes:
  check_mode:
    support: full
    description: Reports what would change (C(apply --check)); nothing is changed.
  diff_mode:
    support: full
    description: The before and after text of every file that changes, passwords masked.
notes:
  - The module runs on the appliance, or on the host that holds the image
    (a local connection) for C(root).
'''

EXAMPLES = r'''
- name: Static eth0, name servers and host name
  kesp_network:
    state:
      interfaces:
        eth0:
          mode: STATICV4
          ipv4: {address: 192.0.2.10, prefix: 24, gateway: 192.0.2.1}
      dns: [192.0.2.53]
      hostname: kesp1.example.org

- name: The same on an offline image, with a proxy
  kesp_network:
    root: /srv/images/kesp1
    state:
      proxy: {host: proxy.example.net, port: 3128, user: build}
    proxy_password: "{{ vault_proxy_password }}"

# Two tasks: the change puts itself back within 120 seconds unless the second
# task, over a new connection to the new address, reaches the appliance and
# keeps it. A play that cannot reach it again leaves it to revert by itself.
- name: Move eth0 to its new address, pending
  kesp_network:
    confirm_within: 120
    state:
      interfaces:
        eth0: {mode: STATICV4, ipv4: {address: 192.0.2.20, prefix: 24}}
- name: Reconnect to the new address
  meta: reset_connection
- name: Keep the change, proven reachable
  vars:
    ansible_host: 192.0.2.20
  kesp_network:
    confirm: true
'''

RETURN = r'''
changed:
  description: Whether anything changed (or, in check mode, would change).
  returned: always
  type: bool
files:
  description: Every file that changed, with its text before and after (passwords masked; null where there was no file).
  returned: always
  type: list
  elements: dict
  sample: [{"path": "/etc/resolv.conf", "before": "nameserver 192.0.2.1\n", "after": "nameserver 192.0.2.53\n"}]
restarted:
  description: The interfaces restarted (on a running appliance).
  returned: always
  type: list
  elements: str
  sample: ["eth0"]
'''

import json
import os
import tempfile

from ansible.module_utils.basic import AnsibleModule


def run_module():
    module = AnsibleModule(
        argument_spec=dict(
            state=dict(type='dict'),
            confirm_within=dict(type='int'),
            confirm=dict(type='bool', default=False),
            root=dict(type='path'),
            wait=dict(type='int'),
            proxy_password=dict(type='str', no_log=True),
            executable=dict(type='path', default='/opt/tolvex/share/kesp/kesp_config_net'),
        ),
        supports_check_mode=True,
        required_one_of=[('state', 'confirm')],
        mutually_exclusive=[('state', 'confirm'), ('confirm_within', 'confirm')],
    )
    params = module.params
    command = [params['executable']]
    if params['root']:
        command += ['--root', params['root']]
    if params['wait'] is not None:
        command += ['--wait', str(params['wait'])]
    if params['confirm']:
        confirm_pending(module, command)
    command += ['apply', '--json']
    if params['confirm_within'] is not None and not module.check_mode:
        command += ['--confirm-within', str(params['confirm_within'])]
    if module.check_mode:
        command.append('--check')
    password = params['proxy_password']
    if password is not None:
        command.append('--password-stdin')

    # The document goes in a file of its own: standard input carries the password.
    handle, path = tempfile.mkstemp(prefix='kesp_network.', suffix='.json')
    try:
        with os.fdopen(handle, 'w') as document:
            json.dump(params['state'], document)
        rc, out, err = module.run_command(command + [path], data=password,
                                          binary_data=False)
    finally:
        os.unlink(path)

    if rc != 0:
        module.fail_json(msg=(err or out).strip() or 'kesp_config_net failed', rc=rc)
    try:
        outcome = json.loads(out)
    except ValueError:
        module.fail_json(msg='kesp_config_net printed no result: %s' % out.strip(), rc=rc)

    result = dict(changed=outcome['changed'], files=outcome['files'],
                  restarted=outcome['restarted'])
    if module._diff:
        result['diff'] = [dict(before_header=f['path'], after_header=f['path'],
                               before=f['before'] or '', after=f['after'] or '')
                          for f in outcome['files']]
    module.exit_json(**result)


def confirm_pending(module, command):
    """Keeps the pending change; this task's connection is the proof."""
    if module.check_mode:
        module.exit_json(changed=False, files=[], restarted=[])
    rc, out, err = module.run_command(command + ['confirm'])
    if rc == 0:
        module.exit_json(changed=True, files=[], restarted=[])
    if rc == 1 and 'no change is pending' in err:
        module.exit_json(changed=False, files=[], restarted=[])
    module.fail_json(msg=(err or out).strip() or 'kesp_config_net confirm failed', rc=rc)


def main():
    run_module()


if __name__ == '__main__':
    main()
