#include "agentmetrics.h"

#include <prometheus/counter.h>
#include <prometheus/gauge.h>
#include <prometheus/registry.h>
#include <prometheus/text_serializer.h>

#include <sstream>

#include "agent.h"
#include "deviceroster.h"

namespace {

std::string utf8(const QString &text)
{
    return text.toStdString();
}

}

AgentMetrics::AgentMetrics(DeviceRoster *roster, const Agent *agent, const QString &version)
    : roster(roster), agent(agent), version(version)
{
}

QByteArray AgentMetrics::text() const
{
    using namespace prometheus;
    Registry registry;
    auto &up = BuildGauge()
                   .Name("kov_device_up")
                   .Help("Whether the device answered within the lost time (1) or not (0)")
                   .Register(registry);
    auto &lastSeen = BuildGauge()
                         .Name("kov_device_last_seen_timestamp_seconds")
                         .Help("When the device last answered, as a Unix time; left out for a "
                               "device never heard")
                         .Register(registry);
    auto &info = BuildGauge()
                     .Name("kov_device_info")
                     .Help("The device's address, firmware version and site texts (always 1)")
                     .Register(registry);
    auto &states = BuildGauge()
                       .Name("kov_devices")
                       .Help("Devices in each state: live, lost, missing, outdated, new")
                       .Register(registry);
    auto &beacons = BuildCounter()
                        .Name("kov_agent_beacons_sent_total")
                        .Help("Discovery beacons sent, by broadcast and by unicast")
                        .Register(registry);
    auto &replies = BuildCounter()
                        .Name("kov_agent_replies_total")
                        .Help("Device replies received")
                        .Register(registry);
    auto &build = BuildGauge()
                      .Name("kov_agent_build_info")
                      .Help("The agent's version (always 1)")
                      .Register(registry);

    int counts[5] = {};
    for (const AgentDevice &d : roster->devices()) {
        const std::string mac = utf8(d.mac);
        up.Add({{"mac", mac}, {"name", utf8(d.name)}, {"location", utf8(d.location)}})
            .Set(d.isUp() ? 1 : 0);
        if (d.lastSeen.isValid())
            lastSeen.Add({{"mac", mac}}).Set(double(d.lastSeen.toMSecsSinceEpoch()) / 1000.0);
        info.Add({{"mac", mac},
                  {"ip", utf8(d.ip)},
                  {"version", utf8(d.version)},
                  {"name", utf8(d.name)},
                  {"location", utf8(d.location)}})
            .Set(1);
        ++counts[int(d.state)];
    }
    for (AgentDevice::State s :
         {AgentDevice::State::Live, AgentDevice::State::Lost, AgentDevice::State::Missing,
          AgentDevice::State::Outdated, AgentDevice::State::New})
        states.Add({{"state", utf8(AgentDevice::stateName(s))}}).Set(counts[int(s)]);
    beacons.Add({}).Increment(double(agent->beaconsSent()));
    replies.Add({}).Increment(double(agent->replies()));
    build.Add({{"version", utf8(version)}}).Set(1);

    std::ostringstream out;
    TextSerializer().Serialize(out, registry.Collect());
    const std::string s = out.str();
    return QByteArray(s.data(), int(s.size()));
}
