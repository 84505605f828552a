#pragma once
// A service that lives as long as the command listener: started once the
// command port listens, stopped by the listener's shutdown. It lets the shell
// hang further endpoints on the listener without the command service
// knowing them.
class CompanionService {
public:
    virtual ~CompanionService() = default;
    virtual void Start() = 0;
    virtual void Stop() = 0;
};
