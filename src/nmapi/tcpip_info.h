// IPv4 and IPv6 configuration of the adapters, from the IP helper's adapter
// lists and the TCP/IP interface keys.
#pragma once

#include <vector>

#include "nmapi/adapter_node.h"
#include "platform/ip_helper.h"

namespace skyfw {

// IPv4 and IPv6 fields of every node (at enumeration): 1 when the IPv6 list
// was read, else 0.
int ReadTcpipInfo();
// IPv6 then IPv4 fields of one node (at hand-out).
void ReadTcpipInfoNET(AdapterNode& node);

// 1 when an IPv6 unicast address was found for the node, else 0.
int ReadIpV6Info(AdapterNode& node);
int ReadIPv6InfoNET(AdapterNode& node, const std::vector<platform::IpAdapterAddresses>& list);

// `list` null: no adapter list could be had.
int ReadIpv4FromList(AdapterNode& node, const std::vector<platform::IpAdapterInfo>* list);
int ReadIpv4FromRegistry(AdapterNode& node);

}  // namespace skyfw
